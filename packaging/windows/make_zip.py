"""Packs a staged folder into the Windows zip: make_zip.py ROOT NAME ZIP.

Every entry of ROOT/NAME goes in under NAME/, empty folders (the data
folder) included, in name order with one fixed time stamp, so the same
input gives the same zip. Names that are not ASCII (the data folder's ★)
are stored in UTF-8 with the zip format's UTF-8 flag, which Windows'
Explorer and every current unzip tool honour.
"""
import os
import sys
import zipfile

STAMP = (2026, 1, 1, 0, 0, 0)


def entries(root, name):
    top = os.path.join(root, name)
    for folder, dirs, files in os.walk(top):
        dirs.sort()
        rel = os.path.relpath(folder, root).replace(os.sep, "/")
        if not files and not dirs:
            yield rel + "/", None
        for f in sorted(files):
            yield rel + "/" + f, os.path.join(folder, f)


def main():
    root, name, out = sys.argv[1:4]
    tmp = out + ".part"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for arcname, path in entries(root, name):
            info = zipfile.ZipInfo(arcname, STAMP)
            info.create_system = 0  # MS-DOS: Windows attributes, no Unix modes
            if path is None:
                info.external_attr = 0x10  # a folder
                z.writestr(info, b"")
                continue
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0x20  # an archive file
            with open(path, "rb") as f:
                z.writestr(info, f.read())
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
