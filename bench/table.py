"""Prints the benchmark's table from hyperfine's JSON and the peak RSS list."""
import json
import pathlib
import sys

work = pathlib.Path(sys.argv[1])
program = sys.argv[2]
rss = {}
for line in (work / "rss.txt").read_text().splitlines():
    name, command, kib = line.rsplit("|", 2)
    rss[(name, command)] = int(kib)

print(f"{'case':<16} {'command':<16} {'median':>9} {'pituus ÷ this':>14} {'peak RSS':>10}")
for result_file in sorted(work.glob("*.json"), key=lambda p: p.stat().st_mtime):
    name = result_file.stem
    results = json.loads(result_file.read_text())["results"]
    ours = results[0]["median"]
    for result in results:
        command = result["command"].split(" ", 1)[1].split(" <")[0]
        shown = "pituus" if command == program else command
        shown = "perl \\X" if command.startswith("perl") else shown
        kib = rss.get((name, command))
        ratio = "" if command == program else f"{ours / result['median']:.2f}"
        print(f"{name:<16} {shown:<16} {result['median'] * 1000:7.1f}ms {ratio:>14} "
              + (f"{kib / 1024:8.2f}MiB" if kib is not None else f"{'':>11}"))
