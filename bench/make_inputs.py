"""Makes the benchmark's inputs, each a single line: 1 GiB of ASCII, of
Finnish UTF-8 (NFC, one character in six outside ASCII), of the same text
decomposed (NFD: each ä an a and a combining diaeresis), of Finnish text
dense with emoji sequences (skin tones, a ZWJ family, a flag, a keycap), of
Finnish prose as it is typeset (quotes, dashes, ellipses: prose.txt) and of
Hindi prose (conjuncts: prose-hindi.txt); the last four again at 64 MiB,
for the slow counts of ICU and Perl; the prose of each script of SCRIPTS
at 256 MiB, and again at 16 MiB for ICU and Intl.Segmenter; and a short
line."""
import pathlib
import random
import sys
import unicodedata

MIB = 1 << 20
folder = sys.argv[1]

FINNISH = "Hyvää päivää! Tämä on suomenkielinen lause, jossa on ääkkösiä. "
# 85 characters in 128 bytes, 15 of its 85 code points parts of emoji sequences.
EMOJI = ("Hyvää huomenta 👋🏽! Perhe 👨‍👩‍👧‍👦 lähti Suomeen 🇫🇮 ja soitti "
         "numeroon 1️⃣. Kiitos 🙏🏻! ")


def write_line(path, sample, mebibytes):
    sample = sample.encode()
    block = (sample * (MIB // len(sample) + 1))[:MIB]
    # Whole samples only, so that no character is cut at a block's end.
    block = block[: len(block) - len(block) % len(sample)]
    with open(path, "wb") as out:
        for _ in range(mebibytes * MIB // len(block)):
            out.write(block)
        out.write(b"\n")


# The scripts of prose-<script>.txt, and what their sentences are strung
# together with: Chinese and Japanese put no space between sentences.
SCRIPTS = {"amharic": " ", "arabic": " ", "bengali": " ", "chinese": "", "hindi": " ",
           "japanese": "", "khmer": " ", "korean": " ", "russian": " ", "tamil": " ",
           "thai": " "}


def write_prose(path, mebibytes, sentences_file="prose.txt", separator=" "):
    """The sentences of the file in an order drawn with a fixed seed, so that
    the text never repeats with a period a cache or a predictor could learn."""
    text = (pathlib.Path(__file__).parent / sentences_file).read_text(encoding="utf-8")
    sentences = [f"{line}{separator}".encode() for line in text.splitlines()
                 if line and not line.startswith("#")]
    draw = random.Random(16)
    left = mebibytes * MIB
    with open(path, "wb") as out:
        while left > 0:
            chunk = b"".join(draw.choices(sentences, k=16384))
            if len(chunk) > left:
                # The last one ends after a space, or a whole sentence, so
                # that no character is cut.
                cut = chunk.rindex(b" ", 0, left) + 1 if separator else left
                while not separator and not any(chunk[:cut].endswith(s) for s in sentences):
                    cut -= 1
                chunk = chunk[:cut]
                left = len(chunk)
            out.write(chunk)
            left -= len(chunk)
        out.write(b"\n")


write_line(f"{folder}/ascii.txt", "The quick brown fox jumps over the lazy dog. ", 1024)
write_line(f"{folder}/finnish.txt", FINNISH, 1024)
write_line(f"{folder}/nfd.txt", unicodedata.normalize("NFD", FINNISH), 1024)
write_line(f"{folder}/emoji.txt", EMOJI, 1024)
write_line(f"{folder}/nfd-64.txt", unicodedata.normalize("NFD", FINNISH), 64)
write_line(f"{folder}/emoji-64.txt", EMOJI, 64)
write_prose(f"{folder}/prose.txt", 1024)
write_prose(f"{folder}/prose-64.txt", 64)
write_prose(f"{folder}/hindi.txt", 1024, "prose-hindi.txt")
write_prose(f"{folder}/hindi-64.txt", 64, "prose-hindi.txt")
for script, separator in SCRIPTS.items():
    write_prose(f"{folder}/{script}-256.txt", 256, f"prose-{script}.txt", separator)
    write_prose(f"{folder}/{script}-16.txt", 16, f"prose-{script}.txt", separator)
with open(f"{folder}/short.txt", "wb") as out:
    out.write(b"Hyva paiva\n")
