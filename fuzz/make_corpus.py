#!/usr/bin/env python3
"""Writes the seed corpora: expressions like the ones in the test tables, as
raw text for fuzz_reader and as command records for fuzz_commands (see
fuzz_commands.cpp for the record format). Run from anywhere; rewrites
fuzz/corpus/."""
import hashlib
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))

EXPRESSIONS = [
    "1+2", "(666/77)*8+3-(2.5*8)+10", "-2*3", "2*-3", "--1", "1-2-3", "8/2/2",
    "a=5", "a=a+1", "a=b=3", "(x=2)*x+(y=x*3)-y", "A1=2.5", "a", "1/0", "-1/0", "0/0",
    "(1+2]", "(1+2", "()", "1 2", "1+", "+1", "*", "=", "a=", "-", "1e5", ".", "..5",
    "1.2.3", "7.", ".5", "1\n+2", "1\r2", "\t1 + 2 ", "(((1)))", "-(-(-(1)))",
    "99999999999999999999999999999999999999999999999999999999999999999999999999999999999999",
    "1" * 88, "a" * 87 + "=1", "a" * 88, "179769313486231570814527423731704356798070567525844996598917476803157260780028538760589558632766878171540458953514382464234321326889464182768467546703537516986049910576551282076245490090389328944075868508455133942304583236903222948165808559332123348274797826204144723168738177180919299881250404026853",
    "(a=1)+(a=a*2)+(a=a*3)", "x=(y=2)*(z=3)", "1+1+1+1+1+1+1+1", "((((((((((1))))))))))",
]


def write(directory, data):
    os.makedirs(directory, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def main():
    corpus = os.path.join(HERE, "corpus")
    shutil.rmtree(corpus, ignore_errors=True)
    reader = os.path.join(corpus, "fuzz_reader")
    commands = os.path.join(corpus, "fuzz_commands")
    for expression in EXPRESSIONS:
        text = expression.encode()
        write(reader, text)
        write(commands, b"\x00" + text)
    write(reader, b"(" * 2046 + b"1")
    write(reader, b"-" * 2046 + b"1")
    write(reader, b"a=" * 1023 + b"1")
    write(reader, b"+".join([b"1"] * 1024))
    write(reader, b"1" + b"+1" * 1024)  # one byte too long
    # Sequences: precision changes between calculations, other words, shared
    # buffers, null results and texts around the longest accepted length.
    write(commands, b"\x03" + b"16" + b"\x00" + b"\x00" + b"(666/77)*8+3-(2.5*8)+10")
    write(commands, b"\x04" + b"0" + b"\x00" + b"\x01" + b"1/3" + b"\x00" + b"\x07" + b"" + b"\x00\x02-1/3")
    write(commands, b"\x07" + b"17" + b"\x00" + b"\x00" + b"-1/0" + b"\x00\x07" + b"123")
    write(commands, b"\x00a=5\x00\x00a*2\x00\x08b=a+1\x00\x10b\x00\x00b")
    write(commands, b"\x05/xcalc\x00\x05/XPRECIS\x00\x05/xcalcx\x00\x06abc")
    write(commands, b"\x18" + b"1+")        # 2043 bytes of "1+1+..."
    write(commands, b"\x38" + b"1+")        # 2044
    write(commands, b"\x98" + b"1+")        # 2047
    write(commands, b"\xb8" + b"1+")        # 2048
    write(commands, b"\x98" + b"(")        # 2047 parentheses
    write(commands, b"\x98" + b"-")
    write(commands, b"\x98" + b"a=")
    write(commands, b"\x03" + b"16" + b"\x00" + b"\x00" + b"-" + b"9" * 87 + b"*" + b"9" * 87 + b"*" + b"9" * 87 + b"*" + b"9" * 60)


if __name__ == "__main__":
    main()
