#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses, fuzz/corpus/<harness>/.

Every seed is built here from nothing, so running this again gives the same
files byte for byte. Seeds are named "seed-*"; files of other names in the
corpus directories (inputs kept from campaigns) are left alone, and stale
seed files are removed.

    python3 fuzz/make_seeds.py
"""

import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

# --- sources in all the shapes the scan meets ---------------------------------

SOURCES = {
    "basic": b"WinSendMsg (hwnd, WM_X, 0, 0);\n",
    "no-newline": b"WinPostMsg(hwnd,WM_QUIT,0,0)",
    "dlgitem": b"WinSendDlgItemMsg(hwnd, ID_LIST, LM_INSERTITEM, MPFROMSHORT(0), MPFROMP(psz))\n",
    "over-lines": b"WinSendMsg(hwnd,\n    WM_X, 0, 0);\n",
    "message-next-line": b"rc = WinSendMsg(hwnd,\n\tWM_CLOSE,\n\t0, 0);\n",
    "several": b"WinSendMsg(a, M1, 0, 0); WinPostMsg(b, M2, 0, 0); WinSendDlgItemMsg(c, I, M3, 0, 0);\n",
    "nested-unused": b"WinSendMsg(h, OUTER, WinPostMsg(h2, INNER, 0, 0), 0);\n",
    "nested-used": b"WinSendMsg(h, WinPostMsg(h2, INNER, 0, 0), 0, 0);\n",
    "nested-first": b"WinSendMsg(WinPostMsg(a, b, c, d), M, 0, 0);\n",
    "few-parameters": b"WinSendMsg(hwnd);\nWinSendMsg();\nWinPostMsg(a,,b);\n",
    "invalid-characters": b"WinSendMsg(a;b, c{d}, #e $f ~g `h, \\i @j);\nWinPostMsg(a,;, ;;, x;;y);\n",
    "names": (b"WinSendMsgEx(a, b);\nWinSendMsg;\n&WinSendMsg;\nMy_WinSendMsg(a, M, 0, 0);\n"
              b"xWinSendMsg(a, M, 0, 0);\nWWinSendMsg(a, M, 0, 0);\nWinWinSendMsg(a, M, 0, 0);\n"
              b"Windows WinMain Win(x) W(y) WinSendMs(g) WinSendMsg2(h)\n"),
    "literal-escapes": (b"WinSendMsg(h, '\\'', \"a\\\"b,c\", '\\\\');\n"
                        b"WinPostMsg(h, \"x)y\", ')', '(');\n"
                        b"WinSendMsg(h, \"abc\\\ndef\", 0, 0);\n"
                        b"WinSendMsg(h, \"\\\\\", M, 0);\n"),
    "literal-open": b"WinSendMsg(h, \"never closed, 0, 0);\nint x;\nint y;\n",
    "char-open": b"WinSendMsg(h, 'x, 0, 0);\n",
    "comments": (b"WinSendMsg(h, /* it's, ( */ WM_A, 0, 0); // we'll (\n"
                 b"WinSendMsg(h, // don't ( \"\n WM_B, 0, 0);\n"
                 b"WinSendMsg(h, // a \\\n continued ' \n WM_C, 0, 0);\n"
                 b"WinPostMsg(h, a / b, c /= d, 0);\n"
                 b"/* WinPostMsg(h, Q, 0, 0) */ // WinSendMsg(h, R, 0, 0)\n"),
    "comment-open": b"WinSendMsg(h, /* never closed\nWinPostMsg(a, b, c, d);\n",
    "slash-at-end": b"WinSendMsg(h, a /\n/ comment\n, M, 0);\n",
    "nul-and-high": (b"WinSendMsg(h, WM_\x00X, \xff\xfe, 0);\n\x00WinPostMsg(\x00, \x80, 0, 0)\n"
                     b"\xffWinSendMsg(h, \xc3\xa9t\xc3\xa9, 0, 0);\n\x00\x00\n"),
    "unfinished": b"WinSendMsg(h, WM_X, 0\n",
    "unfinished-nested": b"WinSendMsg(h, (WM_X, (0\n  more\n",
    "paren-next-line": b"WinSendMsg\n(h, WM_X, 0, 0);\nWinSendMsg(x, WinPostMsg\n(y, Z, 0, 0), 0, 0);\n",
    "in-strings": (b"printf(\"WinSendMsg(h, M, 0, 0)\\n\");\n"
                   b"s = \"WinSendMsg(h, \" ;\nmore \"text\";\n"),
    "crlf": b"WinSendMsg(h, WM_X, 0, 0);\r\nWinPostMsg(h,\r\n WM_Y, 0, 0);\r\n",
    "blank-before-paren": b"WinSendMsg  \t (h, WM_X, 0, 0);\nWinPostMsg\n\n(h, M, 0, 0);\n",
    "deep-parentheses": b"WinSendMsg(h, " + b"(" * 300 + b"x" + b")" * 300 + b", 0, 0);\n",
    "deep-calls": b"WinSendMsg(h, " * 60 + b"M" + b", 0, 0)" * 60 + b";\n",
    "many-parameters": b"WinSendMsg(" + b",".join(b"p%d" % i for i in range(200)) + b");\n",
    "empty": b"",
    "newline": b"\n",
    "w": b"W",
    "name-at-end": b"WinSendMsg",
    "open-at-end": b"WinSendMsg(",
    "program": b"""#include <os2.h>

/* A window procedure. */
MRESULT EXPENTRY WndProc(HWND hwnd, ULONG msg, MPARAM mp1, MPARAM mp2)
{
    switch (msg) {
    case WM_CREATE:
        WinSendMsg(hwnd, WM_USER + 1, MPFROMLONG(0), 0L);
        return 0;
    case WM_COMMAND:
        if (SHORT1FROMMP(mp1) == IDM_EXIT)
            WinPostMsg(hwnd, WM_QUIT, 0L, 0L);
        WinSendDlgItemMsg(hwnd, IDC_LIST, LM_INSERTITEM,
                          MPFROMSHORT(LIT_END), MPFROMP("it's \\"here\\", (ok)"));
        break;
    }
    return WinDefWindowProc(hwnd, msg, mp1, mp2);
}
""",
}


def long_sources():
    """Lines far past 64 KB, with calls in them and at their ends."""
    filler = b"x = a + b * (c - d); "
    line = filler * (72 * 1024 // len(filler))
    yield "long-line-call-at-end", line + b"WinSendMsg(h, WM_LONG, 0, 0);\n"
    middle = filler * (40 * 1024 // len(filler))
    yield "long-line-calls", (middle + b"WinPostMsg(h, WM_A, 0, 0); " + middle +
                              b"WinSendDlgItemMsg(h, ID, WM_B, 0, 0);" + middle + b"\n")
    parameter = b"a" * (70 * 1024)
    yield "long-parameter", b"WinSendMsg(h, " + parameter + b", 0, 0);\nnext line\n"
    # Each call's message, its last parameter, holds the next one.
    yield "long-nested", long_nest(b"WinSendMsg(h", b")")


def long_nest(open_call, close_call, depth=40):
    """Calls nested in a parameter, each level long enough that the engine
    takes notes on it, with a comment, a literal and an odd character."""
    pad = b" /* " + b"y, (z) " * 40 + b"*/ 'q' ;"
    text = b"core"
    for _ in range(depth):
        text = open_call + b"p" + pad + b", " + text + close_call
    return text + b";\n"


# --- tables the input describes (fuzz_table_scan) -----------------------------

TALLYX = b"WinSendMsg|S %s\\n|10|4|1\nWinPostMsg|P %s\\n|10|4|1\nWinSendDlgItemMsg|D %s\\n|17|5|2\n"
EXAMPLE = (b"WinSendMsg|SendMessage(%s,%s,%s,%s)||4|0,1,2,3\n"
           b"WinQueryWindowText|GetWindowText(%s,%s,%s)||3|0,2,1\n"
           b"WinFoo|||1|\n"
           b"WinBlock|{\\n\\t%s;\\n}||1|0\n")

TABLES = {
    "tallyx": TALLYX + b"@echo\n==\n" + SOURCES["program"],
    "tallyx-no-echo": TALLYX + b"==\n" + SOURCES["comments"],
    "example": EXAMPLE + b"==\n" + (b"WinSendMsg(hwnd, WM_X, 0, 0);\nWinQueryWindowText(h, 10, buf);\n"
                                    b"x = WinFoo(a, (b));\nWinFoo(a)WinFoo(b);\nWinBlock(go());\n"),
    "pull-in-line": b"WinA|A<%s>||2|1\nWinB|B<%s>||1|0\n==\nWinA(x, WinB\n(y));\n",
    "replacement-starts-with-call": b"WinA|%s||1|0\nWinB|B(%s)||1|0\n==\nWinA(WinB(x));\n",
    "delete": b"WinFoo||\n==\nx = WinFoo(a, (b));\nWinFoo(a)WinFoo(b);\nWinFoo(\n a,\n b);\n",
    "empty-format": b"WinA|\\E||1|0\n==\nWinA(a;b);\n",
    "cb-short": b"WinSendMsgEx|X(%s)|10||1\n==\nWinSendMsg(a,b);\nWinSendMsgEx(a,b);\n",
    "cb-long": b"WinA|X(%s)|99||0\n==\nWinA(a);\n",
    "cb-zero": b"WinA|X(%s)|0||0\n==\nWinA(a);\n",
    "cb-negative": b"WinA|X(%s)|-1||0\nWinB|Y|-2147483648||0\nWinC|Z|2147483647||0\n==\nWinA(a); WinB(b); WinC(c);\n",
    "order-out-of-range": (b"WinA|%s %s %s %s %s %s %s %s|4|3|8,-2,2147483647,-2147483648,7,100,-1,0\n"
                           b"==\nWinA(a, b, c, d, e, f, g, h);\n"),
    "order-duplicates": b"WinA|%s-%s||1|0,0\n==\nWinA(x); WinA(WinA(y));\n",
    "conversions": (b"WinA|%d %n %*s %1$s %c %ls %% %5s\\|%-3.2s\\|%08s\\|% s\\|%+.0s %||1|0,1,2,3,4,5,6,7\n"
                    b"WinB|%99999999999s %.100000s %4096s %.s %-s %s%s%s%s%s%s%s%s%s%s||1|0,1\n"
                    b"==\nWinA(alpha, beta, gamma, delta, e, f, g, h);\nWinB(x, y);\n"),
    "endless": b"WinA| WinA(%s)||1|0\n==\nbefore\nWinA(x);\nafter\n",
    "endless-mutual": b"WinA| WinB(%s)||1|0\nWinB| WinA(%s)||1|0\n==\nWinA(x);\n",
    "endless-growing": b"WinA| WinA(%s%s)||1|0,0\n==\nWinA(x);\n",
    "nested": b"WinA|B(%s)||1|0\n==\n" + b"WinA(" * 100 + b"x" + b")" * 100 + b";\n",
    "long-nested-in-place": b"WinA|A(%s,%s)||2|0,1\n==\n" + long_nest(b"WinA(", b")"),
    "long-nested-moved": b"WinA|Moved(%s, 0)||2|1\n==\n" + long_nest(b"WinA(", b")"),
    "long-nested-swapped": b"WinA|R(%s,%s)||2|1,0\n==\n" + long_nest(b"WinA(", b")"),
    "long-nested-growing": b"WinA|ALongerNameThanBefore(%s,%s)||2|0,1\n==\n" + long_nest(b"WinA(", b")"),
    "no-name": b"|fmt(%s)|5||0\n\\E|fmt2|0||0\n==\nWinA(a);\n",
    "first-wins": b"WinA|first(%s)||1|0\nWinA|second(%s)||1|0\n==\nWinA(x);\n",
    "digit-and-underscore": b"2x|two(%s)||1|0\nWin_A|u(%s)||1|0\n==\n2x(a) Win_A(b) a2x(c)\n",
    "high-bytes": b"\\xffA|h(%s)||1|0\nA\\xff|i(%s)||1|0\n==\n\xffA(a) A\xff(b)\n",
    "letters": b"WinA|A(%s)||1|0\n@letters Wx\n==\nWinA(a) xWinA(b)\n",
    "letters-empty": b"WinA|A(%s)||1|0\n@letters \n==\nWinA(a)\n",
    "letters-odd": b"WinA|A(%s)||1|0\n@letters W_W$\\x00\\xff\n==\nWinA(a)\n",
    "letters-all": (b"Alpha|a(%s)||1|0\nbeta|b(%s)||1|0\n9nine|n(%s)||1|0\n"
                    b"@letters abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n"
                    b"==\nAlpha(1) beta(2) 9nine(3) alpha(4)\n"),
    "num-negative": TALLYX + b"@num -1\n==\nWinSendMsg(h, M, 0, 0);\n",
    "num-zero": TALLYX + b"@num 0\n==\nWinSendMsg(h, M, 0, 0);\n",
    "num-one": TALLYX + b"@num 1\n@echo\n==\nWinSendMsg(h, M, 0, 0); WinPostMsg(h, N, 0, 0);\n",
    "two-letters": b"Alpha|A[%s]||1|0\nBeta|B[%s]||1|0\n==\nAlpha(Beta(x)) Beta(Alpha(y))\n",
    "multi-line-format": b"WinA|{\\n  %s;\\n  %s;\\n}\\n||2|1,0\n==\nWinA(first,\n  second);\n",
    "table-only": TALLYX,
    "empty-input": b"",
}


def long_tables():
    filler = b"x = a + b * (c - d); "
    line = filler * (72 * 1024 // len(filler))
    yield "long-line", EXAMPLE + b"==\n" + line + b"WinSendMsg(h, WM_LONG, 0, 0);\n"


# --- compiled macro files (fuzz_compiled) ------------------------------------

def record(name=b"", fmt=b"", cb=None, parms=0, order=(), raw_name=None, raw_format=None):
    if cb is None:
        cb = len(name)
    order = list(order) + [-1] * (8 - len(order))
    name_field = raw_name if raw_name is not None else name.ljust(256, b"\0")
    format_field = raw_format if raw_format is not None else fmt.ljust(256, b"\0")
    assert len(name_field) == 256 and len(format_field) == 256
    return name_field + format_field + struct.pack("<ii8i", cb, parms, *order)


def compiled(records, count=None):
    if count is None:
        count = len(records)
    return struct.pack("<i", count) + b"".join(records)


TALLYX_RECORDS = [
    record(b"WinSendMsg", b"S %s\n", parms=4, order=[1]),
    record(b"WinPostMsg", b"P %s\n", parms=4, order=[1]),
    record(b"WinSendDlgItemMsg", b"D %s\n", parms=5, order=[2]),
]


def compiled_seeds():
    valid = compiled(TALLYX_RECORDS)
    assert len(valid) == 1660
    yield "tallyx", valid
    for cut in (0, 1, 3, 4, 5, 260, 555, 556, 557, 1000, 1107, 1108, 1659):
        yield "tallyx-cut-%d" % cut, valid[:cut]
    yield "count-zero", compiled(TALLYX_RECORDS, count=0)
    yield "count-negative", compiled(TALLYX_RECORDS, count=-1)
    yield "count-min", compiled(TALLYX_RECORDS, count=-2**31)
    yield "count-max", compiled(TALLYX_RECORDS[:1], count=2**31 - 1)
    yield "count-short", compiled(TALLYX_RECORDS, count=2)
    yield "trailing-bytes", valid + b"\x01\x02\x03garbage"
    yield "many-records", compiled([record(b"Api%d" % i, b"F%d(%%s)" % i, parms=1, order=[0])
                                    for i in range(120)])
    yield "fields-without-nul", compiled([record(raw_name=b"N" * 256, raw_format=b"%s" * 128, cb=256)])
    yield "text-after-nul", compiled([record(raw_name=b"WinA\0junk".ljust(256, b"\xff"),
                                             raw_format=b"A(%s)\0more".ljust(256, b"z"))])
    yield "odd-values", compiled([
        record(b"WinA", b"A(%s)", cb=-1, parms=-5, order=[8, -2, 2**31 - 1, -2**31, 7, 0, 100, -1]),
        record(b"WinB", b"", cb=0),
        record(b"", b"no name"),
        record(b"", b""),
        record(b"WinC", b"multi\nline\n%s\n", cb=99, parms=2**31 - 1, order=[0, 1]),
        record(b"wide", b"%d %n %*s %% %", parms=1, order=[0]),
    ])
    yield "same-letter", compiled([record(b"Alpha", b"a"), record(b"Beta", b"b"), record(b"Also", b"c"),
                                   record(b"\xffHigh", b"h"), record(b"9nine", b"n")])


# --- writing -----------------------------------------------------------------

def write_corpus(harness, seeds):
    directory = os.path.join(CORPUS, harness)
    os.makedirs(directory, exist_ok=True)
    wanted = set()
    for name, data in seeds:
        file_name = "seed-" + name
        assert file_name not in wanted, file_name
        wanted.add(file_name)
        path = os.path.join(directory, file_name)
        with open(path, "wb") as f:
            f.write(data)
    for stale in sorted(os.listdir(directory)):
        if stale.startswith("seed-") and stale not in wanted:
            os.remove(os.path.join(directory, stale))
    return len(wanted)


def main():
    scan = list(SOURCES.items()) + list(long_sources())
    table = list(TABLES.items()) + list(long_tables())
    for name, data in list(SOURCES.items()):
        if name in ("program", "literal-escapes", "comments", "nul-and-high", "invalid-characters"):
            table.append(("tallyx-" + name, TALLYX + b"==\n" + data))
    counts = {
        "fuzz_scan": write_corpus("fuzz_scan", scan),
        "fuzz_table_scan": write_corpus("fuzz_table_scan", table),
        "fuzz_compiled": write_corpus("fuzz_compiled", compiled_seeds()),
    }
    for harness, n in counts.items():
        print("make_seeds: %s: %d seeds" % (harness, n))
    return 0


if __name__ == "__main__":
    sys.exit(main())
