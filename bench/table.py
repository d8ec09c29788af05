"""Prints the benchmark's table from hyperfine's JSON and the peak RSS list,
then one line for each goal, and whether the cluster counters agreed."""
import json
import pathlib
import sys

work = pathlib.Path(sys.argv[1])
MIB = 1024

median = {}
rss = {}
for line in (work / "rss.txt").read_text().splitlines():
    name, column, kib = line.rsplit("|", 2)
    rss[(name, column)] = int(kib)

print(f"{'case':<16} {'command':<16} {'median':>9} {'pituus ÷ this':>14} {'peak RSS':>10}")
for line in (work / "cases.txt").read_text().splitlines():
    name, starts = line.split()
    results = []
    for part in (f"{name}.json", f"{name}.slow.json"):
        if (work / part).exists():
            results += json.loads((work / part).read_text())["results"]
    for result in results:
        # The time of one start, where a run started the command many times.
        column, seconds = result["command"], result["median"] / int(starts)
        median[(name, column)] = seconds
        ratio = "" if column == "pituus" else f"{median[(name, 'pituus')] / seconds:.2f}"
        kib = rss.get((name, column))
        print(f"{name:<16} {column:<16} {seconds * 1000:7.1f}ms {ratio:>14} "
              + (f"{kib / MIB:8.2f}MiB" if kib is not None else f"{'':>11}"))

# What the goal is about, its case, the peer, and the bound: a time at most
# that many times the peer's, or (faster) the peer's at least that many times ours.
GOALS = [
    ("Finnish NFC", "finnish-1GiB", "wc -l", "at most", 1.3),
    ("real prose", "prose-1GiB", "wc -l", "at most", 1.3),
    ("C locale", "ascii-1GiB", "wc -l", "at most", 1.1),
    ("NFD", "nfd-1GiB", "wc -m", "faster", 10),
    ("emoji-dense", "emoji-1GiB", "wc -m", "faster", 10),
    ("emoji-dense", "emoji-64MiB", "ICU", "faster", 20),
    ("Hindi prose", "hindi-1GiB", "wc -m", "faster", 10),
    ("Hindi prose", "hindi-64MiB", "ICU", "faster", 20),
    ("short line, C", "short-line", "wc -l", "at most", 1.3),
    ("short line, UTF-8", "short-line-utf8", "wc -l", "at most", 1.3),
]
# Every script's prose: within 2 × the line counter, 10 × faster than wc -m
# and 20 × faster than ICU.
for script in ("amharic", "arabic", "bengali", "chinese", "hindi", "japanese", "khmer", "korean",
               "russian", "tamil", "thai"):
    GOALS += [(f"{script.capitalize()} prose", f"{script}-256MiB", "wc -l", "at most", 2),
              (f"{script.capitalize()} prose", f"{script}-256MiB", "wc -m", "faster", 10),
              (f"{script.capitalize()} prose", f"{script}-16MiB", "ICU", "faster", 20)]


def report(label, measured=None, goal="", met=False):
    result = f"{measured:<30} {goal:<16} {'met' if met else 'NOT met'}" if measured else "not measured"
    print(f"  {label:<36} {result}")


print("\nGoals, as ratios within this run:")
for what, name, peer, kind, bound in GOALS:
    ours, theirs = median.get((name, "pituus")), median.get((name, peer))
    label = f"{what} ({name})"
    if ours is None or theirs is None:
        report(label)
    elif kind == "at most":
        report(label, f"{ours / theirs:.2f} × {peer}", f"at most {bound} ×", ours / theirs <= bound)
    else:
        report(label, f"{theirs / ours:.1f} × faster than {peer}", f"at least {bound} ×",
               theirs / ours >= bound)

peaks = {name: kib / MIB for (name, column), kib in rss.items() if column == "pituus"}
if peaks:
    peak = max(peaks.values())
    report("peak memory (every case)", f"{peak:.2f} MiB", "at most 3 MiB", peak <= 3)
# The same locale on both sides: the locale's own data is part of the resident set.
for locale, short, long_cases in (("C", "short-line", ["ascii-1GiB"]),
                                  ("UTF-8", "short-line-utf8",
                                   ["finnish-1GiB", "prose-1GiB", "nfd-1GiB", "emoji-1GiB",
                                    "hindi-1GiB"] + [name for name, _ in peaks.items()
                                                     if name.endswith("-256MiB")])):
    long_peak = max((peaks[name] for name in long_cases if name in peaks), default=None)
    label = f"memory, 10 B and 1 GiB line ({locale})"
    if short not in peaks or long_peak is None:
        report(label)
    else:
        report(label, f"{peaks[short]:.2f} and {long_peak:.2f} MiB", "within 0.5 MiB",
               abs(long_peak - peaks[short]) <= 0.5)

counts = {}
counts_file = work / "counts.txt"
for line in counts_file.read_text().splitlines() if counts_file.exists() else []:
    name, column, count = line.split("|")
    counts.setdefault(name, []).append((column, count))
print()
# Intl.Segmenter follows Unicode 17.0 as pituus does, and must agree; ICU 72
# and Perl follow older versions, and may not (README.md).
for name, found in counts.items():
    by = dict(found)
    if len({count for _, count in found}) == 1:
        print(f"Counts agree on {name}: {found[0][1]} ({', '.join(column for column, _ in found)}).")
    elif "Intl.Segmenter" in by and by["Intl.Segmenter"] == by.get("pituus"):
        print(f"Counts on {name}: pituus and Intl.Segmenter agree, {by['pituus']}; "
              + ", ".join(f"{column} {count}" for column, count in found
                          if column not in ("pituus", "Intl.Segmenter")) + " (older Unicode).")
    else:
        print(f"WARNING: counts differ on {name}: " + ", ".join(f"{c} {n or '(none)'}" for c, n in found))
