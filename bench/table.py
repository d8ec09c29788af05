"""Prints the benchmark's table from hyperfine's JSON and the peak RSS list,
then whether the cluster counters agreed."""
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
for name in (work / "cases.txt").read_text().split():
    results = []
    for part in (f"{name}.json", f"{name}.slow.json"):
        if (work / part).exists():
            results += json.loads((work / part).read_text())["results"]
    for result in results:
        column = result["command"]
        median[(name, column)] = result["median"]
        ratio = "" if column == "pituus" else f"{results[0]['median'] / result['median']:.2f}"
        kib = rss.get((name, column))
        print(f"{name:<16} {column:<16} {result['median'] * 1000:7.1f}ms {ratio:>14} "
              + (f"{kib / MIB:8.2f}MiB" if kib is not None else f"{'':>11}"))

counts = {}
counts_file = work / "counts.txt"
for line in counts_file.read_text().splitlines() if counts_file.exists() else []:
    name, column, count = line.split("|")
    counts.setdefault(name, []).append((column, count))
print()
for name, found in counts.items():
    if len({count for _, count in found}) == 1:
        print(f"Counts agree on {name}: {found[0][1]} ({', '.join(column for column, _ in found)}).")
    else:
        print(f"WARNING: counts differ on {name}: " + ", ".join(f"{c} {n or '(none)'}" for c, n in found))
