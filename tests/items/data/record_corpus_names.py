#!/usr/bin/env python3
# record_corpus_names.py: records what readpst and pffexport report for each corpus file.
#
# Usage: record_corpus_names.py CORPUS_DIR > corpus-names.txt
# For every .pst/.ost file: the message store's display name, which readpst -r uses as
# the name of the top folder it writes (when a store has no name readpst falls back to
# the file name; no store line is written then), and the folder names pffexport -m all
# -f text writes. In pffexport's tree a folder is a directory without files of its own;
# an item is a directory with files (Message.txt, ...), and is not descended into.
import os
import subprocess
import sys
import tempfile


def folders(directory, out):
    for name in sorted(os.listdir(directory)):
        path = os.path.join(directory, name)
        if not os.path.isdir(path):
            continue
        if any(os.path.isfile(os.path.join(path, x)) for x in os.listdir(path)):
            continue
        out.append(name)
        folders(path, out)


def main(corpus):
    print("# Written by tests/items/data/record_corpus_names.py from readpst (libpst 0.6.76)")
    print("# and pffexport (pff-tools 20180714); file<TAB>store|folder<TAB>name, UTF-8.")
    for file in sorted(os.listdir(corpus)):
        if not file.endswith((".pst", ".ost")):
            continue
        source = os.path.join(corpus, file)
        with tempfile.TemporaryDirectory() as tmp:
            readpst_out = os.path.join(tmp, "readpst")
            os.mkdir(readpst_out)
            subprocess.run(["readpst", "-r", "-j", "0", "-o", readpst_out, source],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            tops = os.listdir(readpst_out)
            if len(tops) == 1 and tops[0] != file:
                print(f"{file}\tstore\t{tops[0]}")
            target = os.path.join(tmp, "pff")
            subprocess.run(["pffexport", "-m", "all", "-f", "text", "-q", "-t", target, source],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            names = []
            folders(target + ".export", names)
            for name in names:
                print(f"{file}\tfolder\t{name}")


if __name__ == "__main__":
    main(sys.argv[1])
