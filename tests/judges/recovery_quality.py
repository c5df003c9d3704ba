#!/usr/bin/python3
"""Recovery quality end to end: real stores damaged on purpose, repaired with the front
end's defaults, and judged against what libpff reads from the undamaged original.

For every store and damage kind:
  surviving  messages of the original (as libpff lists them) whose data-tree and
             subnode-tree blocks are all still intact somewhere in the damaged file
             (krv-inspect survival: exact, block by block); messages whose nodes name
             the same two trees count once, being one message's bytes;
  content    of those, messages found in the repair with the same subject and plain and
             HTML bodies (any folder: lost-and-found folders count);
  full       of those, messages with the same attachments, embedded messages and
             recipients as well;
  judges     every output file opens in pffinfo -a, readpst and krv-pstcheck.
The rule held: for every damage kind, full >= --require percent (99 by default) of the
surviving messages over all stores; 100 % for every undamaged store; every judge passes.

usage: recovery_quality.py --bin DIR [--corpus DIR] [--generated N] [--stores NAME,...]
                  [--kinds KIND,...] [--require PCT] [--json FILE] [--work DIR]
--stores picks corpus files by name and generated stores (mkpst-...) by theirs.
Exit status: 0 the rule holds, 1 it does not, 77 when something needed (the corpus, a
judge) is missing.
"""
import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
COMPARE = os.path.join(REPO, "tests", "judges", "libpff_compare.py")
PYTHON = "/usr/bin/python3"
SKIP = 77

KINDS = ["none", "zero-header", "kill-roots", "kill-nbt", "kill-bbt", "zero-sectors", "truncate", "shift",
         "flip-bytes", "zero-range", "mix"]

# Larger stores of our own writer: folders, recipients, attachments, both layouts, the
# three encodings, OLE objects and non-ASCII text.
GENERATED = [
    ("mkpst-unicode", ["--layout", "unicode", "--folders", "12", "--depth", "3", "--messages", "400",
                       "--recipients", "3", "--attachments", "2", "--attachment-bytes", "12000",
                       "--body-bytes", "5000", "--seed", "11"]),
    ("mkpst-ansi-permute", ["--layout", "ansi", "--encryption", "permute", "--folders", "8", "--messages", "300",
                            "--recipients", "2", "--attachments", "1", "--attachment-bytes", "30000", "--ole",
                            "--seed", "12"]),
    ("mkpst-cyclic-text", ["--layout", "unicode", "--encryption", "cyclic", "--unicode-text", "--folders", "6",
                           "--messages", "250", "--recipients", "4", "--attachments", "3",
                           "--attachment-bytes", "3000", "--body-bytes", "9000", "--seed", "13"]),
    # Small enough for the test suite: the 32-bit layout, recipients and attachments that
    # only the reunion keeps together once the node tree is gone.
    ("mkpst-small", ["--layout", "ansi", "--encryption", "permute", "--folders", "3", "--messages", "40",
                     "--recipients", "3", "--attachments", "2", "--attachment-bytes", "6000",
                     "--body-bytes", "5000", "--seed", "14"]),
    # The 4 KiB-page layout of offline folder files, its blocks stored as they are and
    # zlib-compressed.
    ("mkpst-4k", ["--layout", "unicode4k", "--folders", "3", "--messages", "40", "--recipients", "3",
                  "--attachments", "2", "--attachment-bytes", "6000", "--body-bytes", "5000", "--unicode-text",
                  "--ole", "--seed", "15"]),
    ("mkpst-4k-compressed", ["--layout", "unicode4k", "--compress", "--folders", "3", "--messages", "40",
                             "--recipients", "3", "--attachments", "2", "--attachment-bytes", "6000",
                             "--body-bytes", "5000", "--seed", "16"]),
]


def run(args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kwargs)


def damage(tools, kind, original, damaged):
    """krv-damage steps for one kind; the mix chains four of them."""
    size = os.path.getsize(original)
    sectors = max(1, size // 512 * 2 // 100)
    steps = {
        "zero-header": [["--kind", "zero-header"]],
        "kill-roots": [["--kind", "kill-roots"]],
        "kill-nbt": [["--kind", "kill-nbt"]],
        "kill-bbt": [["--kind", "kill-bbt"]],
        "zero-sectors": [["--kind", "zero-sectors", "--count", str(sectors), "--seed", "7"]],
        "truncate": [["--kind", "truncate", "--length", str(size * 70 // 100)]],
        "shift": [["--kind", "shift", "--offset", str(size // 2), "--count", "37", "--seed", "7"]],
        "flip-bytes": [["--kind", "flip-bytes", "--count", str(max(8, size // 20000)), "--seed", "7"]],
        "zero-range": [["--kind", "zero-range", "--offset", str(size // 3), "--length", str(min(65536, size // 8))]],
        # The roots are found through the header: they go before it.
        "mix": [["--kind", "kill-roots"], ["--kind", "zero-header"],
                ["--kind", "zero-sectors", "--count", str(sectors), "--seed", "7"],
                ["--kind", "shift", "--offset", str(size // 2), "--count", "37", "--seed", "7"]],
    }[kind]
    current = original
    for index, step in enumerate(steps):
        target = damaged if index == len(steps) - 1 else damaged + ".step%d" % index
        result = run([os.path.join(tools, "krv-damage"), current, target] + step)
        if result.returncode != 0:
            raise RuntimeError("krv-damage %s: %s" % (" ".join(step), result.stderr.strip()))
        if current != original:
            os.remove(current)
        current = target


def judge(tools, part, work):
    """The three readers' verdicts on one output file: the names of those that failed."""
    failed = []
    if run(["pffinfo", "-a", part]).returncode != 0:
        failed.append("pffinfo")
    out = tempfile.mkdtemp(dir=work)
    if run(["readpst", "-q", "-o", out, part]).returncode != 0:
        failed.append("readpst")
    shutil.rmtree(out, ignore_errors=True)
    if run([os.path.join(tools, "krv-pstcheck"), part]).returncode != 0:
        failed.append("krv-pstcheck")
    return failed


def measure(tools, original, kind, work):
    row = {"kind": kind}
    damaged = os.path.join(work, "damaged.pst")
    if kind == "none":
        shutil.copyfile(original, damaged)
    else:
        damage(tools, kind, original, damaged)
    survival = run([os.path.join(tools, "krv-inspect"), "survival", original, damaged])
    if survival.returncode != 0:
        raise RuntimeError("krv-inspect survival: " + survival.stderr.strip())
    listed_survival = json.loads(survival.stdout)["list"]
    survives = {m["nid"]: m["survives"] for m in listed_survival}
    trees_of = {m["nid"]: (m["data_bid"], m["sub_bid"]) for m in listed_survival}

    outdir = os.path.join(work, "out")
    shutil.rmtree(outdir, ignore_errors=True)
    os.makedirs(outdir)
    repair = run([os.path.join(tools, "krv-repair"), "-q", damaged, os.path.join(outdir, "out.pst")])
    parts = sorted(glob.glob(os.path.join(outdir, "out*.pst")))
    row["parts"] = len(parts)
    row["repair_exit"] = repair.returncode
    row["judges_failed"] = sorted({f"{os.path.basename(p)}:{j}" for p in parts for j in judge(tools, p, work)})
    # 0: items recovered, 1: none; anything else, or a sanitizer's report, is a fault.
    if repair.returncode not in (0, 1) or "Sanitizer" in repair.stderr or "runtime error" in repair.stderr:
        row["judges_failed"].append(f"krv-repair exit {repair.returncode}: {repair.stderr.strip()[-300:]}")

    listed = baseline_nids(original)
    if parts:
        first = ",".join(str(nid) for nid in listed if survives.get(nid, False))
        compared = run([PYTHON, COMPARE, "--anywhere", original] + parts + ["--first", first])
        if compared.returncode not in (0, 1):
            row["judges_failed"].append("libpff:" + compared.stdout.strip()[:200])
            found = {}
        else:
            found = {m["nid"]: m for m in json.loads(compared.stdout)["messages"]}
    else:
        found = {}
    # Messages whose nodes name the very same data and subnode trees are one message's
    # bytes on disk: once the node tree is gone nothing can tell them apart, so they count
    # as one, recovered when any of them came back.
    groups = {}
    for nid in listed:
        groups.setdefault(trees_of.get(nid, ("nid", nid)), []).append(nid)
    surviving = [members for members in groups.values() if all(survives.get(nid, False) for nid in members)]

    def best(members, field):
        return any(found.get(nid, {}).get(field) for nid in members)

    row["messages"] = len(listed)
    row["distinct"] = len(groups)
    row["unlisted"] = sum(1 for nid in listed if nid not in survives)
    row["surviving"] = len(surviving)
    row["content"] = sum(1 for members in surviving if best(members, "content"))
    row["full"] = sum(1 for members in surviving if best(members, "full"))
    row["short"] = [{"nid": members[0], "subject": found.get(members[0], {}).get("subject", ""),
                     "content": best(members, "content")}
                    for members in surviving if not best(members, "full")][:20]
    os.remove(damaged)
    return row


_BASELINE = {}


def baseline_nids(original):
    """The NIDs of the messages libpff reads from the undamaged original."""
    if original not in _BASELINE:
        dumped = run([PYTHON, COMPARE, "--dump", original])
        nids = []
        if dumped.returncode == 0:
            nids = [m["nid"] for m in json.loads(dumped.stdout)["messages"] if m.get("nid") is not None]
        _BASELINE[original] = nids
    return _BASELINE[original]


def readable_by_libpff(path):
    result = run(["pffinfo", path])
    return result.returncode == 0 and run([PYTHON, COMPARE, "--dump", path]).returncode == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", required=True, help="where krv-repair and the tools are")
    parser.add_argument("--corpus", default=os.path.join(REPO, "..", "shared", "corpus", "real"))
    parser.add_argument("--generated", type=int, default=3, help="how many of the generated stores to make")
    parser.add_argument("--stores", default="")
    parser.add_argument("--kinds", default=",".join(KINDS))
    parser.add_argument("--require", type=float, default=99.0)
    parser.add_argument("--json", default="")
    parser.add_argument("--work", default="")
    args = parser.parse_args()

    for tool in ("pffinfo", "readpst", "pffexport"):
        if shutil.which(tool) is None:
            print(f"recovery_quality.py: {tool} is not installed; skipped")
            return SKIP
    if run([PYTHON, "-c", "import pypff"]).returncode != 0:
        print("recovery_quality.py: python3-pypff is not installed; skipped")
        return SKIP
    tools = os.path.abspath(args.bin)
    kinds = [k for k in args.kinds.split(",") if k]
    unknown = [k for k in kinds if k not in KINDS]
    if unknown:
        print("recovery_quality.py: unknown kinds " + ", ".join(unknown), file=sys.stderr)
        return 2

    work = args.work or tempfile.mkdtemp(prefix="krv-quality-")
    os.makedirs(work, exist_ok=True)
    os.environ["XDG_STATE_HOME"] = os.path.join(work, "state")
    try:
        wanted = [s for s in args.stores.split(",") if s]
        stores = []
        if os.path.isdir(args.corpus):
            for path in sorted(glob.glob(os.path.join(args.corpus, "*.pst")) +
                               glob.glob(os.path.join(args.corpus, "*.ost"))):
                name = os.path.basename(path)
                if wanted and name not in wanted:
                    continue
                if readable_by_libpff(path):
                    stores.append((name, path))
        elif wanted and any(not w.startswith("mkpst-") for w in wanted):
            print(f"recovery_quality.py: no corpus at {args.corpus}; skipped")
            return SKIP
        for name, options in GENERATED[:args.generated]:
            if wanted and name not in wanted:
                continue
            path = os.path.join(work, name + ".pst")
            made = run([os.path.join(tools, "krv-mkpst"), path, "--quiet", "--force"] + options)
            if made.returncode != 0:
                raise RuntimeError("krv-mkpst: " + made.stderr.strip())
            stores.append((name, path))
        if not stores:
            print("recovery_quality.py: no store to measure; skipped")
            return SKIP

        rows = []
        print(f"{'store':<40} {'kind':<13} {'msgs':>5} {'dist':>5} {'surv':>5} {'content':>7} {'full':>5} {'%':>7}  judges")
        for name, path in stores:
            for kind in kinds:
                row = measure(tools, path, kind, work)
                row["store"] = name
                rows.append(row)
                pct = 100.0 * row["full"] / row["surviving"] if row["surviving"] else 100.0
                row["percent"] = pct
                row["ok"] = (pct >= 100.0 or kind != "none") and not row["judges_failed"]
                print(f"{name[:40]:<40} {kind:<13} {row['messages']:>5} {row['distinct']:>5} {row['surviving']:>5} {row['content']:>7} "
                      f"{row['full']:>5} {pct:>6.1f}%  {'ok' if not row['judges_failed'] else ' '.join(row['judges_failed'])}"
                      f"{'' if row['ok'] else '  <-- short'}", flush=True)

        print(f"\n{'kind':<13} {'surviving':>9} {'content':>8} {'full':>8} {'%':>7}")
        short_kinds = []
        for kind in kinds:
            of_kind = [r for r in rows if r["kind"] == kind]
            s = sum(r["surviving"] for r in of_kind)
            c = sum(r["content"] for r in of_kind)
            f = sum(r["full"] for r in of_kind)
            pct = 100.0 * f / s if s else 100.0
            if pct < (100.0 if kind == "none" else args.require):
                short_kinds.append(kind)
            print(f"{kind:<13} {s:>9} {c:>8} {f:>8} {pct:>6.1f}%{'' if kind not in short_kinds else '  <-- short'}")
        if args.json:
            with open(args.json, "w") as handle:
                json.dump(rows, handle, indent=1, ensure_ascii=False)
        failed = [r for r in rows if not r["ok"]]
        print(f"\nkinds short of the rule (>= {args.require:g} % of the surviving messages whole, 100 % "
              f"undamaged): {', '.join(short_kinds) or 'none'}; rows with a judge failing or an undamaged "
              f"store short: {len(failed)} of {len(rows)}")
        return 0 if not failed and not short_kinds else 1
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
