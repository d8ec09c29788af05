"""Makes the benchmark's inputs: one 1 GiB line of ASCII, one 1 GiB line of
Finnish UTF-8 (about one byte in ten outside ASCII) and a short line."""
import sys

GIB = 1 << 30
folder = sys.argv[1]


def write_line(path, sample):
    block = sample * (1 << 20 // len(sample) + 1)
    block = block[: 1 << 20]
    with open(path, "wb") as out:
        for _ in range(GIB // len(block)):
            out.write(block)
        out.write(b"\n")


write_line(f"{folder}/ascii.txt", b"The quick brown fox jumps over the lazy dog. ")
write_line(f"{folder}/finnish.txt",
           "Hyvää päivää! Tämä on suomenkielinen lause, jossa on ääkkösiä. ".encode())
with open(f"{folder}/short.txt", "wb") as out:
    out.write(b"Hyva paiva\n")
