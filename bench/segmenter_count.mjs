// Counts the grapheme clusters of standard input's first line with Node's
// Intl.Segmenter (ICU 78, Unicode 17.0), the count pituus's must equal: the
// benchmark's check of its counts. As the ICU counter does, it segments a
// block at a time and carries only the cluster still open at a block's end
// into the next: a boundary before it is final, since the rules decide a
// boundary by what comes before it and the one code point after. The line
// ends at its line feed or a zero byte, a carriage return before the line
// feed not counted, as in pituus.
import {readSync} from 'node:fs';

const segmenter = new Intl.Segmenter(undefined, {granularity: 'grapheme'});
const decoder = new TextDecoder('utf-8');
const buffer = Buffer.alloc(1 << 14);
let open = '';
let count = 0;
let ended = false;
const add = (text, last) => {
    let previous = null;
    for (const {segment} of segmenter.segment(open + text)) {
        if (previous !== null) {
            ++count;
        }
        previous = segment;
    }
    open = previous ?? '';
    if (last && open !== '') {
        ++count;
        open = '';
    }
};
while (!ended) {
    let size = 0;
    try {
        size = readSync(0, buffer, 0, buffer.length, null);
    } catch (error) {
        if (error.code === 'EAGAIN') continue;
        throw error;
    }
    let bytes = buffer.subarray(0, size);
    const end = bytes.findIndex((byte) => byte === 0x0A || byte === 0x00);
    if (end >= 0 || size === 0) {
        ended = true;
        bytes = end >= 0 ? bytes.subarray(0, end) : bytes;
        if (end >= 0 && buffer[end] === 0x0A && bytes.at(-1) === 0x0D) {
            bytes = bytes.subarray(0, -1);
        }
    }
    add(decoder.decode(bytes, {stream: !ended}), ended);
}
console.log(count);
