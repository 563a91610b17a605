#!/usr/bin/env python3
"""Benchmark inputs for tallyx and zaptor.

  gen_corpus.py --size-mb 20 --seed 1 -o corpus-20.c      realistic C source
  gen_corpus.py --size-bytes 4000000 -o same-size.c       the same, by bytes
  gen_corpus.py --hostile longline|longcall|nested -o F   hostile inputs
  gen_corpus.py --tables DIR                              table texts for zaptor-table

Everything is deterministic: the same arguments give the same bytes, with
any Python 3 and on any machine (only random.Random with an explicit seed is
used, and no hash ordering). 1 MB is 1,000,000 bytes.

The realistic source is OS/2 Presentation Manager style C: window and dialog
procedures, // and /* */ comments, string and character literals holding
commas, parentheses and escaped quotes, macros, #if blocks, some long lines,
and a call of WinSendMsg, WinPostMsg or WinSendDlgItemMsg every 8 to 15
lines (some nested, some over 2-4 lines, some with white space before the
parenthesis). It also calls the other functions of the realistic table.

Next to every file written a FILE.meta (JSON) tells its size, its line count
and, for the hostile inputs, its longest line and longest call.
"""

import argparse
import json
import os
import random
import sys

MB = 1_000_000
POOL_LIMIT = 6 * MB  # unique text; bigger corpora reuse it with fresh names
ID = "@@"            # replaced by a per-instance number when a block is used

MSG_FUNCS = ["WinSendMsg", "WinPostMsg", "WinSendDlgItemMsg"]

HANDLES = ["hwnd", "hwndDlg", "hwndFrame", "hwndClient", "hwndOwner", "pData->hwndList",
           "hwndMenu", "pWnd->hwndTitle", "hwndEntry"]
CONTROLS = ["IDC_LIST", "IDC_ENTRY", "IDC_SPIN", "IDC_CHECK", "IDC_COMBO", "DID_OK",
            "DID_CANCEL", "IDC_STATUS", "ID_TOOLBAR + 3", "IDC_MLE"]
MESSAGES = ["WM_COMMAND", "WM_CONTROL", "WM_PAINT", "WM_SIZE", "WM_CLOSE", "WM_TIMER",
            "WM_CHAR", "WM_SETWINDOWPARAMS", "WM_USER + 1", "WM_USER+17", "UM_REFRESH",
            "LM_INSERTITEM", "LM_DELETEALL", "LM_QUERYSELECTION", "LM_SETITEMTEXT",
            "EM_SETTEXTLIMIT", "BM_SETCHECK", "BM_QUERYCHECK", "SPBM_SETCURRENTVALUE",
            "MLM_SETTEXTLIMIT", "WM_ENABLE", "WM_FOCUSCHANGE", "WM_QUIT", "UM_UPDATE_STATUS",
            "(ULONG)ulMsg", "msg"]
STRINGS = [r'"Cannot open %s, (error %d)"', r'"Save \"%s\" (y/n)?"', r'"a,b,c"', r'"(none)"',
           r'"C:\\OS2\\SYSTEM"', r'"tab\there, (x)"', r'"quote: \" ) ,"', r'"100%, done"',
           r'"Item (1), item (2)"', r'"It\'s done"', r'""', r'"/* not a comment */"',
           r'"// nor this"', r'"\\"', r'"))((,,"']
CHARS = [r"','", r"')'", r"'('", r"'\''", r"'\"'", r"'\\'", r"'\n'", r"'\x7f'", r"' '", r"'\0'"]
WORDS = ["update", "the", "list", "window", "before", "painting", "count", "items", "owner",
         "frame", "again", "notify", "parent", "control", "selection", "reset", "state",
         "buffer", "flag", "error", "(see below)", "x, y", "done", "OS/2", "dialog", "later"]
TYPES = ["ULONG", "USHORT", "LONG", "SHORT", "BOOL", "HWND", "HPS", "PSZ", "MRESULT", "MPARAM"]
LOCALS = ["ulRc", "cItems", "sIndex", "fEnable", "cch", "ulFlags", "lValue", "usId", "i", "j"]


class Source:
    """Makes blocks of realistic C source from one random stream."""

    def __init__(self, rng):
        self.r = rng

    # -- small pieces -------------------------------------------------------
    def comment_words(self, lo=3, hi=9):
        return " ".join(self.r.choice(WORDS) for _ in range(self.r.randint(lo, hi)))

    def handle(self, depth=0):
        if depth == 0 and self.r.random() < 0.1:
            return f"WinWindowFromID(hwndDlg, {self.r.choice(CONTROLS)})"
        return self.r.choice(HANDLES)

    def mparam(self, depth=0):
        r = self.r
        k = r.randrange(14)
        if k == 0:
            return "0"
        if k == 1:
            return "0L"
        if k == 2:
            return "(MPARAM)0"
        if k == 3:
            return "MPVOID"
        if k == 4:
            return f"MPFROMSHORT({r.randint(0, 999)})"
        if k == 5:
            return f"MPFROM2SHORT({r.choice(CONTROLS)}, {r.choice(['TRUE', 'FALSE', 'LIT_END', '0'])})"
        if k == 6:
            return f"MPFROMP({r.choice(STRINGS)})"
        if k == 7:
            return f"MPFROMLONG({r.choice(LOCALS)} + {r.randint(1, 64)})"
        if k == 8:
            return f"MPFROMHWND({r.choice(HANDLES)})"
        if k == 9:
            return f"MPFROMCHAR({r.choice(CHARS)})"
        if k == 10:
            return "(MPARAM)TRUE"
        if k == 11:
            return f"MPFROMP(szBuffer + {r.randint(0, 9)})"
        if k == 12:
            return f"MPFROMSH2CH({r.choice(CHARS)}, {r.choice(CHARS)}, 0)"
        return "mp1" if r.random() < 0.5 else "mp2"

    def msg_call_expr(self, depth=0, name=None):
        """One call of a message function, on one line."""
        r = self.r
        name = name or r.choices(MSG_FUNCS, weights=[5, 3, 3])[0]
        if name == "WinSendDlgItemMsg":
            args = ["hwndDlg", r.choice(CONTROLS), r.choice(MESSAGES), self.mparam(), self.mparam()]
            msg_at = 2
        else:
            args = [self.handle(depth), r.choice(MESSAGES), self.mparam(), self.mparam()]
            msg_at = 1
        if depth == 0 and r.random() < 0.15:  # nested
            iname, ispace, iargs = self.msg_call_expr(depth + 1)
            inner = f"{iname}{ispace}({', '.join(iargs)})"
            where = r.randrange(3)
            if where == 0:
                args[msg_at] = f"(ULONG){inner}"
            elif where == 1:
                args[-2] = f"MPFROMLONG({inner})"
            else:
                args[-1] = f"(MPARAM){inner}"
        if depth == 0 and r.random() < 0.05:
            i = r.randrange(len(args))
            args[i] = f"/* {self.comment_words(2, 5)} */ {args[i]}"
        space = ""
        if r.random() < 0.1:
            space = r.choice([" ", "  ", "\t", " \t"])
        return name, space, args

    def msg_call_statement(self, indent):
        """A statement holding one message call: 1 to 4 lines."""
        r = self.r
        pad = " " * indent
        name, space, args = self.msg_call_expr()
        # The text before the call, and what follows its closing parenthesis.
        lead, close = r.choice([("", ";"), ("", ";"), ("mr = ", ";"), ("ulRc = (ULONG)", ";"),
                                ("sIndex = SHORT1FROMMR(", ");"), ("if (", ")"), ("return ", ";")])
        lead = pad + lead
        if r.random() < 0.2 and len(args) > 2:
            # Over 2 to 4 lines, continuation aligned under the first parameter.
            nlines = min(r.randint(2, 4), len(args))
            cuts = sorted(r.sample(range(1, len(args)), nlines - 1))
            align = " " * (len(lead) + len(name) + len(space) + 1)
            groups, prev = [], 0
            for c in cuts + [len(args)]:
                groups.append(", ".join(args[prev:c]))
                prev = c
            out = [f"{lead}{name}{space}({groups[0]},"]
            if r.random() < 0.2:
                out[0] += f" // {self.comment_words(2, 4)}"
            for g in groups[1:-1]:
                out.append(f"{align}{g},")
            out.append(f"{align}{groups[-1]}){close}")
        else:
            out = [f"{lead}{name}{space}({', '.join(args)}){close}"]
        if lead.endswith("if ("):
            out.append(f"{pad}    {r.choice(LOCALS)} = {r.randint(0, 9)};")
        return out

    def other_call(self):
        """A call of one of the other functions of the realistic table."""
        r = self.r
        k = r.randrange(20)
        h = self.handle()
        if k == 0:
            return f"pData = (PDATA)WinQueryWindowPtr({h}, QWL_USER);"
        if k == 1:
            return f"ulStyle = WinQueryWindowULong({h}, QWL_STYLE);"
        if k == 2:
            return f"WinSetWindowText({h}, {r.choice(STRINGS)});"
        if k == 3:
            return f"WinDestroyWindow({h});"
        if k == 4:
            return f"WinInvalidateRect({h}, NULL, {r.choice(['TRUE', 'FALSE'])});"
        if k == 5:
            return f"WinEnableWindow(WinWindowFromID(hwndDlg, {r.choice(CONTROLS)}), fEnable);"
        if k == 6:
            return f"WinShowWindow({h}, {r.choice(['TRUE', 'FALSE'])});"
        if k == 7:
            return f"hwndItem = WinWindowFromID(hwndDlg, {r.choice(CONTROLS)});"
        if k == 8:
            return f"WinDismissDlg(hwndDlg, {r.choice(['DID_OK', 'DID_CANCEL', 'TRUE'])});"
        if k == 9:
            return (f"WinMessageBox(HWND_DESKTOP, {h}, {r.choice(STRINGS)}, {r.choice(STRINGS)}, "
                    f"{r.randint(0, 99)}, MB_OK | MB_ERROR);")
        if k == 10:
            return (f"WinSetWindowPos({h}, HWND_TOP, {r.randint(0, 640)}, {r.randint(0, 480)}, "
                    "cx, cy, SWP_SIZE | SWP_MOVE);")
        if k == 11:
            return f"GpiSetColor(hps, CLR_{r.choice(['RED', 'BLUE', 'BLACK', 'PALEGRAY'])});"
        if k == 12:
            return "GpiMove(hps, &ptl);"
        if k == 13:
            return "GpiLine (hps, &ptlEnd);"
        if k == 14:
            return f"DosSleep({r.choice(['1', '100', '0L', 'ulInterval'])});"
        if k == 15:
            return f"DosBeep({r.choice(['440', '880', '1000'])}, {r.randint(10, 300)});"
        if k == 16:
            return "return WinDefWindowProc(hwnd, msg, mp1, mp2);"
        if k == 17:
            return f"WinSetWindowText(WinWindowFromID({h}, {r.choice(CONTROLS)}), szBuffer);"
        if k == 18:
            return "hps = WinGetPS(hwnd);"
        return f"rc = DosOpen({r.choice(STRINGS)}, &hf, &ulAction, 0L, FILE_NORMAL, OPEN_ACTION_OPEN_IF, 0, NULL);"

    def filler(self, indent, out):
        """Appends 1 or more ordinary lines (no message call); returns their count."""
        r = self.r
        pad = " " * indent
        k = r.randrange(30)
        if k < 3:
            out.append(f"{pad}// {self.comment_words()}")
        elif k < 5:
            out.append(f"{pad}/* {self.comment_words()} */")
        elif k == 5:
            lines = [f"{pad}/*"] + [f"{pad} * {self.comment_words()}" for _ in range(r.randint(1, 3))] + [f"{pad} */"]
            out.extend(lines)
            return len(lines)
        elif k < 9:
            out.append(f"{pad}{r.choice(LOCALS)} = {r.choice(LOCALS)} * {r.randint(2, 9)} + ({r.choice(LOCALS)} >> {r.randint(1, 4)});")
        elif k < 11:
            out.append(f"{pad}strcpy(szBuffer, {r.choice(STRINGS)});")
        elif k == 11:
            out.append(f'{pad}sprintf(szMsg, "Error %d, (code %s) \\"%s\\"", rc, pszCode, {r.choice(STRINGS)});')
        elif k == 12:
            out.append(f"{pad}ch = {r.choice(CHARS)};")
        elif k == 13:
            out.append(f"{pad}if (ch == {r.choice(CHARS)} || ch == {r.choice(CHARS)}) {r.choice(LOCALS)}++;")
        elif k < 20:
            out.append(f"{pad}{self.other_call()}")
        elif k == 20:
            out.append(f"{pad}pData->ulFlags |= FLAG_{r.choice(['DIRTY', 'BUSY', 'SHOWN'])};")
        elif k == 21:
            out.append(f"{pad}cch = strlen(pszText); /* {self.comment_words(1, 3)} */")
        elif k == 22:
            lines = [f"#if defined(DEBUG_TRACE)",
                     f'{pad}TRACE("msg %lx, mp1 %p (%s)", msg, mp1, {r.choice(STRINGS)});',
                     "#else",
                     f"{pad}/* no trace, {self.comment_words(1, 3)} */",
                     "#endif"]
            out.extend(lines)
            return len(lines)
        elif k == 23:
            lines = [f"{pad}for (i = 0; i < cItems; i++) {{",
                     f"{pad}    apsz[i] = {r.choice(STRINGS)};",
                     f"{pad}}}"]
            out.extend(lines)
            return len(lines)
        elif k == 24:
            lines = [f"{pad}if (rc != NO_ERROR) {{",
                     f"{pad}    {self.other_call()}",
                     f"{pad}    break;",
                     f"{pad}}}"]
            out.extend(lines)
            return len(lines)
        elif k == 25:
            out.append("")
        elif k == 26:
            out.append(f"{pad}memset(&ptl, 0, sizeof(ptl)); ptl.x = {r.randint(0, 99)}; ptl.y = ptl.x / 2;")
        elif k == 27:
            out.append(f"{pad}{r.choice(TYPES)} {r.choice(LOCALS)}{r.randint(0, 9)} = {r.randint(0, 255)};")
        elif k == 28 and r.random() < 0.15:
            out.append(self.long_line(pad))
        elif k == 29 and r.random() < 0.3:
            out.append(f"{pad}/* {r.choice(MSG_FUNCS)} is not called here, nor {r.choice(MSG_FUNCS)}; */")
        else:
            out.append(f"{pad}++{r.choice(LOCALS)};")
        return 1

    def long_line(self, pad):
        r = self.r
        if r.random() < 0.5:
            items = ", ".join(r.choice(STRINGS) for _ in range(r.randint(60, 400)))
            return f"{pad}static const char *const apszText{ID}[] = {{ {items} }};"
        parts = []
        for _ in range(r.randint(10, 40)):
            name, space, args = self.msg_call_expr(1)
            parts.append(f"if ({r.choice(LOCALS)} == {r.randint(0, 99)}) {name}{space}({', '.join(args)});")
            parts.append(self.other_call())
        return pad + " ".join(parts)

    # -- blocks -------------------------------------------------------------
    def body(self, indent, nlines, out):
        """Lines with a message call every 8 to 15 lines."""
        r = self.r
        written = 0
        while written < nlines:
            gap = r.randint(8, 15) - 1
            n = 0
            while n < gap:
                n += self.filler(indent, out)
            stmt = self.msg_call_statement(indent)
            out.extend(stmt)
            written += n + len(stmt)

    def function(self):
        r = self.r
        out = []
        if r.random() < 0.6:
            out.append("/*" + "-" * 70)
            out.append(f" * DlgProc{ID}: {self.comment_words()}")
            out.append(f" * {self.comment_words()}")
            out.append(" *" + "-" * 70 + "*/")
        kind = r.randrange(3)
        if kind == 0:
            out.append(f"MRESULT EXPENTRY DlgProc{ID}(HWND hwndDlg, ULONG msg, MPARAM mp1, MPARAM mp2)")
        elif kind == 1:
            out.append(f"static MRESULT EXPENTRY ClientWndProc{ID} (HWND hwnd, ULONG msg,")
            out.append("                                    MPARAM mp1, MPARAM mp2)")
        else:
            out.append(f"static VOID UpdateControls{ID}(HWND hwndDlg, PDATA pData)")
        out.append("{")
        for _ in range(r.randint(2, 5)):
            out.append(f"    {r.choice(TYPES)} {r.choice(LOCALS)};")
        out.append("    PDATA pData = (PDATA)WinQueryWindowPtr(hwndDlg, QWL_USER);")
        out.append("")
        if kind != 2:
            out.append("    switch (msg) {")
            for _ in range(r.randint(1, 5)):
                out.append(f"    case {r.choice(MESSAGES[:20]).split()[0]}:")
                self.body(8, r.randint(8, 45), out)
                out.append("        break;")
            out.append("    default:")
            out.append("        break;")
            out.append("    }")
            out.append("    return WinDefWindowProc(hwndDlg, msg, mp1, mp2);")
        else:
            self.body(4, r.randint(10, 60), out)
        out.append("}")
        out.append("")
        return out

    def top_level(self):
        r = self.r
        k = r.randrange(5)
        if k == 0:
            return [f"#define SEND_CMD{ID}(h, id) WinSendMsg((h), WM_COMMAND, MPFROMSHORT(id), MPFROM2SHORT(CMDSRC_OTHER, FALSE))",
                    f"#define POST_UPDATE{ID}(h)   WinPostMsg (h, UM_UPDATE_STATUS, 0, 0)",
                    ""]
        if k == 1:
            return [f"#define LIST_ADD{ID}(h, s) \\",
                    "    WinSendMsg(h, LM_INSERTITEM, \\",
                    "               MPFROMSHORT(LIT_END), MPFROMP(s))",
                    ""]
        if k == 2:
            return [f"static const char szTitle{ID}[] = {r.choice(STRINGS)};",
                    f"static const char achSep{ID}[] = {{ {', '.join(r.choice(CHARS) for _ in range(8))} }};",
                    ""]
        if k == 3:
            return ["#if defined(__OS2__) && !defined(USE_WIN32)",
                    f"#  define MSGBOX{ID}(t) WinMessageBox(HWND_DESKTOP, HWND_DESKTOP, (t), \"Error\", 0, MB_OK)",
                    "#else",
                    f"#  define MSGBOX{ID}(t) ((void)(t))",
                    "#endif",
                    ""]
        return ["typedef struct _DATA {",
                "    HWND  hwndList;     /* the list, (if any) */",
                "    ULONG ulFlags;",
                "    CHAR  szBuffer[CCHMAXPATH];",
                f"}} DATA{ID}, *PDATA{ID};",
                ""]

    def file_banner(self):
        return ["/*" + "*" * 72,
                f" * module{ID}.c -- {self.comment_words()}",
                " * Copyright (c) 1994, 1995 \"Example\" Corp., all rights reserved.",
                " " + "*" * 72 + "*/",
                "#define INCL_WIN",
                "#define INCL_GPI",
                "#define INCL_DOSPROCESS",
                "#include <os2.h>",
                "#include <stdio.h>",
                "#include <string.h>",
                '#include "resource.h"',
                ""]

    def block(self, first):
        out = []
        if first or self.r.random() < 0.03:
            out += self.file_banner()
        if self.r.random() < 0.3:
            out += self.top_level()
        out += self.function()
        return "\n".join(out) + "\n"


def write_meta(path, meta):
    with open(path + ".meta", "w") as f:
        json.dump(meta, f, indent=1, sort_keys=True)
        f.write("\n")


def corpus(path, size, seed):
    rng = random.Random(seed)
    src = Source(rng)
    pool, pool_bytes = [], 0
    written, serial, lines = 0, 0, 0
    with open(path, "w", newline="\n") as f:
        chunk, chunk_bytes = [], 0

        def emit(text):
            nonlocal written, serial, lines, chunk_bytes
            serial += 1
            text = text.replace(ID, str(serial))
            chunk.append(text)
            chunk_bytes += len(text)
            written += len(text)
            lines += text.count("\n")
            if chunk_bytes >= 4 * MB:
                f.write("".join(chunk))
                chunk.clear()
                chunk_bytes = 0

        while written < size:
            if pool_bytes < min(size, POOL_LIMIT):
                b = src.block(first=not pool)
                pool.append(b)
                pool_bytes += len(b)
            else:
                b = pool[rng.randrange(len(pool))]
            emit(b)
        f.write("".join(chunk))
    write_meta(path, {"kind": "corpus", "seed": seed, "bytes": written, "lines": lines})


def hostile_longline(path, seed):
    """One line of 10 MB holding 100,000 calls."""
    rng = random.Random(seed)
    src = Source(rng)
    target, calls = 10 * MB, 100_000
    per_call = target // calls
    parts, longest_call, total = [], 0, 0
    for n in range(calls):
        name, space, args = src.msg_call_expr(1 if n % 10 else 0)
        call = f"{name}{space}({', '.join(args)})"
        longest_call = max(longest_call, len(call))
        s = f"{call};"
        pad = (n + 1) * per_call - total - len(s) - 7
        if pad > 0:  # a comment keeps the line on its 100 bytes a call
            s += " /* " + ("x, (y) " * (pad // 7 + 1))[:pad] + " */"
        parts.append(s)
        total += len(s)
    line = "".join(parts)
    if len(line) < target - 1:
        line += " " * (target - 1 - len(line))
    text = line + "\n"
    with open(path, "w", newline="\n") as f:
        f.write(text)
    write_meta(path, {"kind": "hostile-longline", "bytes": len(text), "lines": 1,
                      "longest_line": len(text), "longest_call": longest_call, "calls": calls})


def hostile_longcall(path, seed):
    """One call whose parameters span 100,000 lines and hold many calls."""
    rng = random.Random(seed)
    src = Source(rng)
    nlines = 100_000
    head = ["static VOID Flood(HWND hwnd)", "{",
            "    WinSendMsg(hwnd,", "               WM_USER + ("]
    body, inner = [], 0
    for i in range(nlines - 2):
        k = i % 4
        if k == 0:
            name, space, args = src.msg_call_expr(1)
            body.append(f"                   (ULONG){name}{space}({', '.join(args)}) +")
            inner += 1
        elif k == 1:
            body.append(f"                   /* {src.comment_words(2, 5)} */ {rng.randint(0, 9999)} +")
        elif k == 2:
            body.append(f"                   strlen({rng.choice(STRINGS)}) + // {src.comment_words(1, 4)}")
        else:
            body.append(f"                   ({rng.choice(LOCALS)} == {rng.choice(CHARS)}) +")
    tail = ["                   0),", "               MPFROMP(\"end, (of) flood\"), 0);", "}", ""]
    call_lines = head[2:] + body + tail[:2]
    text = "\n".join(head + body + tail)
    call_text = "\n".join(call_lines)
    longest_call = len(call_text) - len("    ") - len(";")
    with open(path, "w", newline="\n") as f:
        f.write(text)
    write_meta(path, {"kind": "hostile-longcall", "bytes": len(text), "lines": text.count("\n"),
                      "longest_line": max(len(x) + 1 for x in head + body + tail),
                      "longest_call": longest_call, "calls": inner + 1})


def hostile_nested(path, seed):
    """Calls nested 100,000 deep, each in the first message parameter of the one outside.

    The message itself stays short, so that what tallyx prints stays small;
    zaptor's formats use every parameter and so rewrite every level."""
    rng = random.Random(seed)
    depth = 100_000
    opens = []
    closes = []
    for i in range(depth):
        name = MSG_FUNCS[i % 3] if rng.random() < 0.9 else MSG_FUNCS[0]
        space = " " if i % 10 == 0 else ""
        if name == "WinSendDlgItemMsg":
            opens.append(f"{name}{space}(hwndDlg, {rng.choice(CONTROLS)}, {rng.choice(MESSAGES)}, ")
            closes.append(f", MPFROMP({rng.choice(STRINGS)}))")
        else:
            opens.append(f"{name}{space}({rng.choice(HANDLES)}, {rng.choice(MESSAGES)}, ")
            closes.append(f", {rng.choice(['0', 'MPVOID', 'mp1'])})")
    lines = ["static VOID Deep(HWND hwnd)", "{", "    mr = "]
    # One opening per line, then the closings ten to a line.
    lines[-1] += opens[0]
    lines += ["      " + o for o in opens[1:]]
    lines.append("      MPFROMSHORT(1)")
    closes.reverse()
    for i in range(0, depth, 10):
        lines.append("      " + "".join(closes[i:i + 10]))
    lines[-1] += ";"
    lines += ["}", ""]
    text = "\n".join(lines)
    start = text.index(opens[0])
    longest_call = text.rindex(")") + 1 - start
    with open(path, "w", newline="\n") as f:
        f.write(text)
    write_meta(path, {"kind": "hostile-nested", "bytes": len(text), "lines": text.count("\n"),
                      "longest_line": max(len(x) + 1 for x in lines),
                      "longest_call": longest_call, "calls": depth})


# -- tables ---------------------------------------------------------------

def q(s):
    """A quoted string of the table text."""
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'


def entry(name, parms, order, fmt):
    out = ["entry", f"name   {name}", f"parms  {parms}"]
    if order:
        out.append("order  " + " ".join(str(o) for o in order))
    if fmt is not None:
        out.append(f"format {q(fmt)}")
    return "\n".join(out) + "\n\n"


MESSAGE_ENTRIES = [
    ("WinSendMsg", 4, [0, 1, 2, 3], "SendMessage(%s,%s,%s,%s)"),
    ("WinPostMsg", 4, [0, 1, 2, 3], "PostMessage(%s,%s,%s,%s)"),
    ("WinSendDlgItemMsg", 5, [0, 1, 2, 3, 4], "SendDlgItemMessage(%s,%s,%s,%s,%s)"),
]

REALISTIC_ENTRIES = MESSAGE_ENTRIES + [
    ("WinQueryWindowULong", 2, [0, 1], "GetWindowLong(%s,%s)"),
    ("WinQueryWindowPtr", 2, [0, 1], "GetWindowLongPtr(%s,%s)"),
    ("WinSetWindowText", 2, [0, 1], "SetWindowText(%s,%s)"),
    ("WinDestroyWindow", 1, [0], "DestroyWindow(%s)"),
    ("WinInvalidateRect", 3, [0, 1, 2], "InvalidateRect(%s,%s,%s)"),
    ("WinEnableWindow", 2, [0, 1], "EnableWindow(%s,%s)"),
    ("WinShowWindow", 2, [0, 1], "ShowWindow(%s,%s ? SW_SHOW : SW_HIDE)"),
    ("WinWindowFromID", 2, [0, 1], "GetDlgItem(%s,%s)"),
    ("WinDefWindowProc", 4, [0, 1, 2, 3], "DefWindowProc(%s,%s,%s,%s)"),
    ("WinDismissDlg", 2, [0, 1], "EndDialog(%s,%s)"),
    ("WinMessageBox", 6, [1, 2, 3, 5], "MessageBox(%s,%s,%s,%s)"),
    ("WinSetWindowPos", 7, [0, 1, 2, 3, 4, 5, 6], "SetWindowPos(%s,%s,%s,%s,%s,%s,%s)"),
    ("GpiSetColor", 2, [0, 1], "SetTextColor(%s,%s)"),
    ("GpiMove", 2, [0, 1], "MoveToEx(%s,%s, NULL)"),
    ("GpiLine", 2, [0, 1], "LineTo(%s,%s)"),
    ("DosSleep", 1, [0], "Sleep(%s)"),
    ("DosBeep", 2, [], None),  # calls deleted
]


def tables(directory, seed):
    os.makedirs(directory, exist_ok=True)
    banner = "# Generated by bench/gen_corpus.py --tables; do not edit.\n\n"
    with open(os.path.join(directory, "table-3.txt"), "w") as f:
        f.write(banner + "# The three message functions.\n\n")
        for e in MESSAGE_ENTRIES:
            f.write(entry(*e))
    with open(os.path.join(directory, "table-20.txt"), "w") as f:
        f.write(banner + "# A realistic conversion table of 20 entries.\n\n")
        for e in REALISTIC_ENTRIES:
            f.write(entry(*e))
    # 10,000 entries: the three of table-3 first, so that the calls of the
    # corpus are rewritten just as with table-3, then 9,997 names that never
    # occur in the corpus. They start with every letter and digit and have
    # lengths 4 to 40, so that nearly every word of the source is a candidate
    # and passes the length test: the lookup itself is what is measured.
    rng = random.Random(seed)
    alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
    names, seen = [], set(e[0] for e in MESSAGE_ENTRIES)
    i = 0
    while len(names) < 9_997:
        first = alnum[i % len(alnum)]
        length = 4 + rng.randrange(37)
        rest = "".join(rng.choice(alnum) for _ in range(length - 3))
        name = first + "Qz" + rest  # "Qz" never occurs in the corpus
        i += 1
        if name in seen:
            continue
        seen.add(name)
        names.append(name)
    with open(os.path.join(directory, "table-10000.txt"), "w") as f:
        f.write(banner + "# 10,000 entries: the three message functions and 9,997 unused names.\n\n")
        parts = [entry(*e) for e in MESSAGE_ENTRIES]
        for n, name in enumerate(names):
            parms = 1 + n % 8
            order = list(range(min(parms, 8)))
            parts.append(entry(name, parms, order, name.lower()[:12] + "(" + ",".join(["%s"] * len(order)) + ")"))
        f.write("".join(parts))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--size-mb", type=float, help="size of the realistic corpus in MB (10^6 bytes)")
    ap.add_argument("--size-bytes", type=int, help="size of the realistic corpus in bytes")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--hostile", choices=["longline", "longcall", "nested"])
    ap.add_argument("--tables", metavar="DIR", help="write table-3.txt, table-20.txt, table-10000.txt")
    ap.add_argument("-o", "--output", help="the file to write")
    a = ap.parse_args()
    if a.tables:
        tables(a.tables, a.seed)
        return 0
    if not a.output:
        ap.error("-o FILE is needed")
    if a.hostile:
        {"longline": hostile_longline, "longcall": hostile_longcall,
         "nested": hostile_nested}[a.hostile](a.output, a.seed)
        return 0
    if a.size_bytes is None and a.size_mb is None:
        ap.error("give --size-mb, --size-bytes, --hostile or --tables")
    size = a.size_bytes if a.size_bytes is not None else int(a.size_mb * MB)
    corpus(a.output, size, a.seed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
