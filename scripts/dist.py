#!/usr/bin/env python3
"""dist.py: dist/hexbin-VERSION.zip, what users download: the 32-bit program
as shipped, the 64-bit one beside it, the README and the licence as Windows
text, and the SHA-256 sums of those four. Run by make dist once both programs
are built.

The same tree gives the same zip, byte for byte, wherever and whenever it is
built: every entry has the same date (SOURCE_DATE_EPOCH, else the last
commit's time), the same attributes and the same compression, in sorted
order, whatever the disk, the clock, the time zone or the umask say.
"""
import hashlib
import os
import re
import stat
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Name in the zip, and where the build leaves it.
PROGRAMS = (
    ("hexbin.exe", "build/win32/bin/hexbin.exe"),
    ("hexbin-x64.exe", "build/win64/bin/hexbin.exe"),
)

# The README's sections that mean nothing to someone who has the zip and not
# the sources: each must be there, so that a renamed one is not shipped.
SOURCE_ONLY_SECTIONS = ("Running it from the sources", "Building on Windows", "For developers")

ZIP_EPOCH_MIN = 315532800  # 1980-01-01, the earliest date a zip entry holds
ENTRY_ATTRIBUTES = (stat.S_IFREG | 0o644) << 16  # a plain file, rw-r--r--, as Unix zips keep it
CREATED_ON_UNIX = 3
COMPRESS_LEVEL = 9


def fail(message):
    sys.exit("dist: " + message)


def read(path, mode="rb"):
    with open(os.path.join(ROOT, path), mode) as f:
        return f.read()


def version():
    match = re.search(r"^project\(hexbin VERSION ([0-9.]+)", read("CMakeLists.txt", "r"), re.M)
    if not match:
        fail("no version in CMakeLists.txt")
    return match.group(1)


def source_date_epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if not value:
        try:
            value = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"], check=True,
                                   capture_output=True, text=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            fail("not a git checkout: set SOURCE_DATE_EPOCH to the time the zip's entries should carry")
    if not value.isdigit():
        fail(f"SOURCE_DATE_EPOCH is {value!r}, not a number of seconds")
    return int(value)


def windows_text(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


LINK = re.compile(r"\[([^\]]+)\]\(([^)]+)\)")


def readme_text(markdown):
    """The README for the zip: without the screenshot, the sections about the
    sources, and the paragraphs that link into them (docs/ is not in the zip);
    other links reduced to their text and address."""
    lines = []
    dropped = set()
    skipping = False
    for line in markdown.splitlines():
        if line.startswith("## "):
            heading = line[3:].strip()
            skipping = heading in SOURCE_ONLY_SECTIONS
            if skipping:
                dropped.add(heading)
        if not skipping and not line.startswith("!["):
            lines.append(line)
    missing = [s for s in SOURCE_ONLY_SECTIONS if s not in dropped]
    if missing:
        fail("README.md has no section " + ", ".join(missing))
    paragraphs = [p.strip("\n") for p in re.split(r"\n\s*\n", "\n".join(lines))]
    kept = [LINK.sub(lambda m: f"{m[1]} ({m[2]})", p) for p in paragraphs
            if p and not any("://" not in m[2] for m in LINK.finditer(p))]
    return "\n\n".join(kept) + "\n"


def main():
    name = "hexbin-" + version()
    epoch = source_date_epoch()
    files = {}
    for entry, path in PROGRAMS:
        if not os.path.isfile(os.path.join(ROOT, path)):
            fail(f"{path} is not built")
        files[entry] = read(path)
    files["README.txt"] = windows_text(readme_text(read("README.md", "r")))
    files["LICENSE.txt"] = windows_text(read("LICENSE", "r") + "\n\n" + read("THIRD-PARTY-NOTICES.txt", "r"))
    files["SHA256SUMS.txt"] = "".join(f"{hashlib.sha256(files[entry]).hexdigest()}  {entry}\n"
                                      for entry in sorted(files)).encode()

    date_time = time.gmtime(max(epoch, ZIP_EPOCH_MIN))[:6]
    os.makedirs(os.path.join(ROOT, "dist"), exist_ok=True)
    zip_path = os.path.join(ROOT, "dist", name + ".zip")
    with zipfile.ZipFile(zip_path + ".part", "w") as archive:
        for entry in sorted(files):
            info = zipfile.ZipInfo(f"{name}/{entry}", date_time)
            info.external_attr = ENTRY_ATTRIBUTES
            info.create_system = CREATED_ON_UNIX
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, files[entry], compresslevel=COMPRESS_LEVEL)
    os.replace(zip_path + ".part", zip_path)

    print(f"dist: {os.path.relpath(zip_path, ROOT)}, its entries dated "
          f"{time.strftime('%Y-%m-%d %H:%M:%S', time.gmtime(max(epoch, ZIP_EPOCH_MIN)))} UTC")
    sys.stdout.write(files["SHA256SUMS.txt"].decode())
    print(f"dist: SHA-256 of the zip: {hashlib.sha256(read(zip_path)).hexdigest()}")


if __name__ == "__main__":
    main()
