#!/usr/bin/env python3
"""Generates tallyx_sample.c and tallyx_sample.expected.

tallyx_sample.c is a Presentation Manager style C source of well over 1,000
lines that holds calls of WinSendMsg, WinPostMsg and WinSendDlgItemMsg in
every shape the scanner has to cope with; tallyx_sample.expected is the
exact output of "tallyx tallyx_sample.c".

The expected output is not found by scanning the generated text: every call
is built from its parameters here, so the script knows the message
parameter of each call exactly as written (with the white space after the
comma, and the newlines and indentation of a parameter that spans lines),
which calls stand in the message parameter of another (printed after it),
which stand in another parameter (not printed) and which characters are
reported as invalid.  As a guard against accidental calls in the filler
code, the script counts the call names followed by "(" in the text it wrote
and checks the count against the calls it built.

Run it from anywhere; it writes next to itself:

    python3 examples/gen_tallyx_sample.py

The output depends only on SEED, so running it again gives the same bytes.
"""

import os
import random
import re
import sys

SEED = 1989
MIN_LINES = 1000

# Character classes of the scanner.
ALNUM = set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")
SPACE = set(" \t\n\v\f\r")
OPERATOR = set("&*.[]-></+|?!%=^_:")

# kind -> (name, output letter, index of the message parameter)
KINDS = {
    "S": ("WinSendMsg", "S", 1),
    "P": ("WinPostMsg", "P", 1),
    "D": ("WinSendDlgItemMsg", "D", 2),
}


class Bad:
    """A character outside the scanner's classes inside a parameter list.

    The parameter split reports it once for every pass of its loop that
    stops on it: twice when the character before it is white space,
    alphanumeric or an operator character, once when it follows "(", ")"
    or ",".  The count is worked out from the preceding character when the
    text is rendered; other neighbours are refused, so the count is never
    in doubt.
    """

    def __init__(self, char):
        assert char not in ALNUM | SPACE | OPERATOR and char not in "\"'(),"
        self.char = char
        self.count = None  # set when the text is written


class Call:
    """A call of one of the three functions.

    params: a list of parameters; each is a list of parts: str, Call or Bad.
    A parameter's text includes the white space after the comma before it.
    "f()" is written with params [[]]: one empty parameter.
    gap: the white space between the name and "(".
    """

    def __init__(self, kind, params, gap=""):
        assert kind in KINDS
        assert len(params) >= 1
        self.kind = kind
        self.params = params
        self.gap = gap


class Doc:
    """Collects the source text and the expected output."""

    def __init__(self):
        self.out = []          # source text pieces
        self.expected = []     # expected output pieces
        self.calls_built = 0   # every Call written, printed or not
        self.glued_calls = 0   # calls whose name follows a "W" in the same word

    # -- rendering ---------------------------------------------------------

    def text(self):
        return "".join(self.out)

    def _last_char(self):
        for piece in reversed(self.out):
            if piece:
                return piece[-1]
        return "\n"

    def _emit_parts(self, parts, reports):
        for part in parts:
            if isinstance(part, str):
                self.out.append(part)
            elif isinstance(part, Bad):
                before = self._last_char()
                if before in ALNUM or before in SPACE or before in OPERATOR:
                    count = 2
                elif before in "(),":
                    count = 1
                else:
                    raise ValueError("ambiguous neighbour %r before %r" % (before, part.char))
                assert part.count is None, "a Bad is written once"
                part.count = count
                self.out.append(part.char)
                reports.extend([part.char] * count)
            elif isinstance(part, Call):
                self._emit_call(part, reports)
            else:
                raise TypeError(part)

    def _emit_call(self, call, reports):
        """Writes the call; adds its invalid characters to `reports`."""
        name, _, _ = KINDS[call.kind]
        self.calls_built += 1
        self.out.append(name + call.gap + "(")
        for i, param in enumerate(call.params):
            if i:
                self.out.append(",")
            self._emit_parts(param, reports)
        self.out.append(")")

    @staticmethod
    def param_text(parts):
        pieces = []
        for part in parts:
            if isinstance(part, str):
                pieces.append(part)
            elif isinstance(part, Bad):
                pieces.append(part.char)
            else:
                pieces.append(Doc.call_text(part))
        return "".join(pieces)

    @staticmethod
    def call_text(call):
        name, _, _ = KINDS[call.kind]
        return name + call.gap + "(" + ",".join(Doc.param_text(p) for p in call.params) + ")"

    @staticmethod
    def all_reports(call):
        """Invalid characters of the whole call, nested calls included, in order."""
        found = []
        for param in call.params:
            for part in param:
                if isinstance(part, Bad):
                    found.extend([part.char] * part.count)
                elif isinstance(part, Call):
                    found.extend(Doc.all_reports(part))
        return found

    @staticmethod
    def expected_of(call):
        """What tallyx prints for a call that the line scan reaches.

        First the reports of its parameter split (over the whole call), then
        its own line with the message parameter as written, then what the
        calls inside the message parameter print: the scan goes on over the
        replacement, which holds that parameter.  Calls in the other
        parameters vanish with them.
        """
        _, letter, index = KINDS[call.kind]
        lines = ["Invalid character %s\n" % c for c in Doc.all_reports(call)]
        message = call.params[index] if index < len(call.params) else []
        lines.append("%s %s\n" % (letter, Doc.param_text(message)))
        for part in message:
            if isinstance(part, Call):
                lines.extend(Doc.expected_of(part))
        return lines

    # -- public ------------------------------------------------------------

    def code(self, text):
        """Plain text that holds no call."""
        self.out.append(text)

    def call(self, call):
        """A call that the line scan reaches (top level)."""
        # Writing the call settles the report counts that expected_of uses.
        reports = []
        self._emit_call(call, reports)
        assert reports == Doc.all_reports(call)
        self.expected.extend(Doc.expected_of(call))

    def glued(self, prefix, call):
        """A call whose name ends a longer word that starts with a first letter.

        "WWinSendMsg(": the word "WWinSendMsg" matches no name, the scan
        resumes at its second character, which is again a "W", and the tail
        is the call.
        """
        assert prefix and set(prefix) == {"W"}
        self.out.append(prefix)
        self.glued_calls += 1
        self.call(call)


# --- building blocks ----------------------------------------------------------


def P(*parts):
    """A parameter from its parts."""
    return list(parts)


def simple(kind, hwnd, msg, *rest, sep=" "):
    """A call in its most common form: "Name(hwnd, MSG, mp1, mp2)"."""
    params = [P(hwnd), P(sep + msg)] if kind != "D" else [P(hwnd), P(sep + rest[0]), P(sep + msg)]
    tail = rest[1:] if kind == "D" else rest
    for r in tail:
        params.append(P(sep + r))
    return Call(kind, params)


MESSAGES_S = [
    "WM_CLOSE", "WM_QUIT", "WM_SIZE", "WM_PAINT", "WM_TIMER", "WM_COMMAND",
    "WM_CONTROL", "WM_SETWINDOWPARAMS", "WM_QUERYWINDOWPARAMS", "WM_ACTIVATE",
    "WM_SETFOCUS", "WM_ENABLE", "WM_SHOW", "WM_HSCROLL", "WM_VSCROLL",
    "WM_BUTTON1DOWN", "WM_MOUSEMOVE", "WM_CHAR", "WM_USER", "LM_INSERTITEM",
    "LM_DELETEALL", "LM_QUERYSELECTION", "LM_SELECTITEM", "LM_QUERYITEMTEXT",
    "EM_SETTEXTLIMIT", "EM_QUERYCHANGED", "BM_SETCHECK", "BM_QUERYCHECK",
    "SBM_SETSCROLLBAR", "SBM_SETPOS", "MM_SETITEMATTR", "MM_QUERYITEM",
    "TBM_SETHILITE", "CM_INSERTRECORD", "CM_ALLOCRECORD", "CM_INVALIDATERECORD",
]
MESSAGES_P = [
    "WM_CLOSE", "WM_QUIT", "WM_COMMAND", "WM_TIMER", "WM_USER", "WM_SEM1",
    "WM_SEM2", "UM_REFRESH", "UM_LOADDONE", "UM_SAVEDONE", "UM_PROGRESS",
    "UM_ERROR", "UM_THREADEND", "WM_HELP", "WM_REALIZEPALETTE",
]
MESSAGES_D = [
    "LM_INSERTITEM", "LM_DELETEALL", "LM_QUERYSELECTION", "LM_SETITEMTEXT",
    "LM_QUERYITEMCOUNT", "EM_SETTEXTLIMIT", "EM_SETSEL", "EM_QUERYCHANGED",
    "BM_SETCHECK", "BM_QUERYCHECK", "BM_CLICK", "SPBM_SETLIMITS",
    "SPBM_SETCURRENTVALUE", "SPBM_QUERYVALUE", "CBM_SHOWLIST", "SLM_SETSLIDERINFO",
]
HWNDS = ["hwnd", "hwndFrame", "hwndClient", "hwndList", "hwndOwner", "hwndDlg",
         "hwndMenu", "hwndEntry", "pdata->hwndNotify", "hwndTarget"]
DLG_IDS = ["IDC_LIST", "IDC_NAME", "IDC_NUMBER", "IDC_SPIN", "IDC_CHECK",
           "IDC_COMBO", "IDC_SLIDER", "IDC_NOTES", "DID_OK", "DID_CANCEL"]
MPARAMS = ["0", "0L", "NULL", "MPVOID", "mp1", "mp2", "MPFROMSHORT(TRUE)",
           "MPFROMSHORT(FALSE)", "MPFROMLONG(ulValue)", "MPFROMP(pszText)",
           "MPFROM2SHORT(idItem, 0)", "MPFROM2SHORT(LIT_END, 0)",
           "MPFROMHWND(hwnd)", "MPFROMSH2CH(0, 'x', 'y')", "(MPARAM)pRecord",
           "MPFROMSHORT(sizeof(szBuffer) - 1)", "MPFROMP(&aItems[i])"]


class Generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.doc = Doc()
        self.proc_number = 0

    # -- random choices --------------------------------------------------

    def pick(self, seq):
        return self.rng.choice(seq)

    def message(self, kind):
        return self.pick({"S": MESSAGES_S, "P": MESSAGES_P, "D": MESSAGES_D}[kind])

    def random_call(self, kind=None):
        kind = kind or self.pick("SSSPPD")
        msg = self.message(kind)
        if kind == "D":
            return simple("D", self.pick(HWNDS), msg, self.pick(DLG_IDS),
                          self.pick(MPARAMS), self.pick(MPARAMS))
        return simple(kind, self.pick(HWNDS), msg, self.pick(MPARAMS), self.pick(MPARAMS))

    # -- output helpers ----------------------------------------------------

    def code(self, text):
        self.doc.code(text)

    def call(self, call):
        self.doc.call(call)

    def statement(self, indent, call, before="", after=";\n"):
        self.code(indent + before)
        self.call(call)
        self.code(after)

    # -- the file ----------------------------------------------------------

    def header(self):
        self.code(
            "/*\n"
            " * tallyx_sample.c -- generated by gen_tallyx_sample.py; do not edit.\n"
            " *\n"
            " * A Presentation Manager style source that exercises tallyx: calls of\n"
            " * the three message functions in every shape the scanner knows.  It is\n"
            " * test input, not a program: a few constructs (characters that C does\n"
            " * not allow in a parameter list, a call that the file never finishes)\n"
            " * are there on purpose.  tallyx_sample.expected holds the exact output\n"
            " * of \"tallyx tallyx_sample.c\".\n"
            " */\n"
            "\n"
            "#define INCL_WIN\n"
            "#define INCL_DOS\n"
            "#include <os2.h>\n"
            "#include <stdio.h>\n"
            "#include <string.h>\n"
            "\n"
            "#define UM_REFRESH    (WM_USER + 1)\n"
            "#define UM_LOADDONE   (WM_USER + 2)\n"
            "#define UM_SAVEDONE   (WM_USER + 3)\n"
            "#define UM_PROGRESS   (WM_USER + 4)\n"
            "#define UM_ERROR      (WM_USER + 5)\n"
            "#define UM_THREADEND  (WM_USER + 6)\n"
            "\n"
            "typedef struct _WINDATA {\n"
            "    HWND  hwndNotify;\n"
            "    HWND  hwndList;\n"
            "    ULONG cItems;\n"
            "    CHAR  szTitle[80];\n"
            "} WINDATA, *PWINDATA;\n"
            "\n"
            "/* A pointer to the function is not a call of it. */\n"
            "static MRESULT (APIENTRY *pfnSend)(HWND, ULONG, MPARAM, MPARAM) = &WinSendMsg;\n"
            "static MRESULT (APIENTRY *pfnPost)(HWND, ULONG, MPARAM, MPARAM) = WinPostMsg;\n"
            "\n"
        )

    def window_procedure(self):
        """A randomised window procedure made of ordinary calls."""
        self.proc_number += 1
        n = self.proc_number
        rng = self.rng
        self.code(
            "/* ------------------------------------------------------------------ */\n"
            "\n"
            "MRESULT EXPENTRY WndProc%d(HWND hwnd, ULONG msg, MPARAM mp1, MPARAM mp2)\n"
            "{\n"
            "    PWINDATA pdata = (PWINDATA)WinQueryWindowPtr(hwnd, QWL_USER);\n"
            "    HWND     hwndList = pdata ? pdata->hwndList : NULLHANDLE;\n"
            "    ULONG    ulValue = 0;\n"
            "\n"
            "    switch (msg) {\n" % n
        )
        cases = rng.sample(["WM_CREATE", "WM_SIZE", "WM_TIMER", "WM_COMMAND",
                            "WM_CONTROL", "WM_CHAR", "WM_CLOSE", "UM_REFRESH",
                            "UM_LOADDONE", "WM_BUTTON1DOWN", "WM_DESTROY"],
                           rng.randint(4, 7))
        for case in cases:
            self.code("    case %s:\n" % case)
            for _ in range(rng.randint(1, 4)):
                shape = rng.randint(0, 9)
                if shape <= 4:
                    self.statement("        ", self.random_call())
                elif shape == 5:
                    self.code("        ulValue = LONGFROMMR(")
                    self.call(self.random_call("S"))
                    self.code(");\n")
                elif shape == 6:
                    self.code("        if (!")
                    self.call(self.random_call("P"))
                    self.code(")\n            WinAlarm(HWND_DESKTOP, WA_ERROR);\n")
                elif shape == 7:
                    self.code("        pdata->cItems = SHORT1FROMMR(")
                    self.call(self.random_call("D"))
                    self.code(");\n")
                elif shape == 8:
                    self.code("        /* tell the owner */\n")
                    self.statement("        ", self.random_call("P"))
                else:
                    self.code("        WinQueryWindowText(hwnd, sizeof pdata->szTitle, pdata->szTitle);\n")
            self.code("        return 0;\n\n")
        self.code(
            "    default:\n"
            "        break;\n"
            "    }\n"
            "    return WinDefWindowProc(hwnd, msg, mp1, mp2);\n"
            "}\n"
            "\n"
        )

    # -- the special shapes ---------------------------------------------

    def shapes(self):
        """The shapes of the scanner, each once or a few times, in one function."""
        c = self.code
        st = self.statement
        I = "    "
        c("/* ------------------------------------------------------------------ */\n"
          "/* The shapes of a call, one by one.                                   */\n"
          "\n"
          "static VOID Shapes(HWND hwnd, HWND hwndDlg, PWINDATA pdata, PSZ pszText)\n"
          "{\n"
          "    ULONG ulValue = 0;\n"
          "    SHORT sIndex;\n"
          "\n")

        c("    /* plain calls, with and without blanks after the commas */\n")
        st(I, simple("S", "hwnd", "WM_CLOSE", "0L", "0L"))
        st(I, simple("P", "hwnd", "WM_QUIT", "0", "0", sep=""))
        st(I, simple("D", "hwndDlg", "LM_INSERTITEM", "IDC_LIST", "MPFROMSHORT(0)", "MPFROMP(pszText)"))
        st(I, Call("S", [P("hwnd"), P("  WM_SIZE"), P("\t0"), P(" 0")]))
        st(I, Call("P", [P(" hwnd "), P(" WM_COMMAND "), P(" mp1 "), P(" mp2 ")]))
        c("\n")

        c("    /* white space between the name and the parenthesis */\n")
        st(I, Call("S", [P("hwnd"), P(" WM_PAINT"), P(" 0"), P(" 0")], gap=" "))
        st(I, Call("P", [P("hwnd"), P(" UM_REFRESH"), P(" 0"), P(" 0")], gap="\t"))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_NAME"), P(" EM_SETTEXTLIMIT"), P(" MPFROMSHORT(32)"), P(" 0")], gap="   "))
        c("\n")

        c("    /* nested parentheses in the parameters */\n")
        st(I, Call("S", [P("hwnd"), P(" (ULONG)(WM_USER + (2 * 3))"), P(" MPFROM2SHORT((1), (2))"), P(" 0")]))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_SPIN"), P(" SPBM_SETLIMITS"), P(" MPFROMLONG((LONG)(100))"), P(" MPFROMLONG(0)")]))
        st(I, Call("P", [P("WinQueryWindow(hwnd, QW_OWNER)"), P(" MSGID(UM_BASE, (3))"), P(" 0"), P(" 0")]))
        c("\n")

        c("    /* a call over two, three and four lines */\n")
        st(I, Call("S", [P("hwnd"), P(" WM_SETWINDOWPARAMS"), P("\n               MPFROMP(&wndparams)"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P("\n               WM_QUERYWINDOWPARAMS"), P(" MPFROMP(&wndparams)"), P(" 0")]))
        st(I, Call("P", [P("pdata->hwndNotify"), P("\n               UM_PROGRESS"), P("\n               MPFROMLONG(ulValue)"),
                         P("\n               0")]))
        st(I, Call("D", [P("hwndDlg"), P("\n                      IDC_LIST"), P("\n                      LM_SELECTITEM"),
                         P("\n                      MPFROMSHORT(0)"), P(" MPFROMSHORT(TRUE)")]))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_COMBO"), P("\n\t\t\t\t      CBM_SHOWLIST"), P(" MPFROMSHORT(TRUE)"), P(" 0")]))
        c(I)
        self.call(Call("S", [P("hwnd"), P(" WM_VSCROLL"), P(" MPFROMSHORT(IDC_SCROLL)"),
                             P("\n               MPFROM2SHORT(0,\n                            SB_LINEDOWN)")]))
        c(";\n")
        c("    sIndex = SHORT1FROMMR(")
        self.call(Call("S", [P("hwndDlg"), P("\n                                       LM_QUERYSELECTION"),
                             P("\n                                       MPFROMSHORT(LIT_FIRST)"), P(" 0")]))
        c("));\n")
        c("\n")

        c("    /* several calls on one line */\n")
        st(I, simple("S", "hwnd", "WM_ENABLE", "MPFROMSHORT(TRUE)", "0"), after="; ")
        self.call(simple("P", "hwnd", "UM_REFRESH", "0", "0"))
        c("; ")
        self.call(simple("D", "hwndDlg", "BM_SETCHECK", "IDC_CHECK", "MPFROMSHORT(1)", "0"))
        c(";\n")
        c("    if (")
        self.call(simple("S", "hwnd", "WM_QUERYFOCUSCHAIN", "0", "0"))
        c(" || ")
        self.call(simple("S", "hwnd", "WM_QUERYTRACKINFO", "0", "0"))
        c(") ulValue++;\n")
        c("\n")

        c("    /* a call over lines, followed by more calls on its last line */\n")
        st(I, Call("S", [P("hwnd"), P("\n               WM_SHOW"), P(" MPFROMSHORT(TRUE)"), P(" 0")]), after="; ")
        self.call(simple("P", "hwnd", "WM_SEM1", "0", "0"))
        c(";\n\n")

        c("    /* a call in the message parameter: printed after the outer call */\n")
        st(I, Call("S", [P("hwnd"), P(" ", simple("P", "hwndOwner", "UM_LOADDONE", "0", "0")), P(" 0"), P(" 0")]))
        st(I, Call("P", [P("hwnd"), P(" LONGFROMMR(", simple("S", "hwndList", "LM_QUERYITEMCOUNT", "0", "0"), ")"),
                         P(" 0"), P(" 0")]))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_LIST"),
                         P(" MSGOF(", simple("S", "hwnd", "WM_USER", "0", "0"), ", ",
                           simple("P", "hwnd", "WM_SEM2", "0", "0"), ")"),
                         P(" 0"), P(" 0")]))
        c("    /* three deep */\n")
        st(I, Call("S", [P("hwnd"),
                         P(" ", Call("P", [P("hwndOwner"),
                                           P(" ", Call("D", [P("hwndDlg"), P(" IDC_NAME"), P(" EM_QUERYCHANGED"),
                                                             P(" 0"), P(" 0")])),
                                           P(" 0"), P(" 0")])),
                         P(" 0"), P(" 0")]))
        c("    /* the inner call spans lines too */\n")
        st(I, Call("S", [P("hwnd"),
                         P("\n               ", Call("P", [P("hwndOwner"), P("\n                          UM_SAVEDONE"),
                                                           P(" 0"), P(" 0")])),
                         P(" 0"), P(" 0")]))
        c("\n")

        c("    /* a call in another parameter is not printed */\n")
        st(I, Call("S", [P("h"), P(" OUTER"), P(" ", simple("P", "h2", "INNER", "0", "0")), P(" 0")]))
        st(I, Call("P", [P(simple("S", "hwnd", "WM_QUERYOWNER", "0", "0")), P(" UM_ERROR"), P(" 0"), P(" 0")]))
        st(I, Call("D", [P("hwndDlg"), P(" (SHORT)", simple("S", "hwnd", "WM_QUERYID", "0", "0")),
                         P(" LM_DELETEALL"), P(" 0"), P(" MPFROMLONG(", simple("D", "hwndDlg", "EM_QUERYSEL", "IDC_X", "0", "0"), ")")]))
        st(I, Call("S", [P("hwnd"), P(" WM_CONTROL"),
                         P("\n               MPFROMLONG(LONGFROMMR(",
                           Call("P", [P("hwndOwner"), P("\n                          UM_NOTPRINTED"), P(" 0"), P(" 0")]),
                           "))"),
                         P(" 0")]))
        c("\n")

        c("    /* too few parameters: the message is empty */\n")
        st(I, Call("S", [P("hwnd")]))
        st(I, Call("S", [P()]))
        st(I, Call("P", [P("hwnd")]))
        st(I, Call("P", [P(" ")]))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_LIST")]))
        st(I, Call("D", [P()]))
        c("    /* an empty parameter between two commas */\n")
        st(I, Call("S", [P("hwnd"), P(""), P(" 0"), P(" 0")]))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_LIST"), P(""), P(" 0")]))
        c("    /* more than eight parameters */\n")
        st(I, Call("S", [P("a"), P(" WM_MANY")] + [P(" %d" % k) for k in range(3, 13)]))
        st(I, Call("D", [P("a"), P(" b"), P(" DM_MANY")] + [P(" x%d" % k) for k in range(10)]))
        c("\n")

        c("    /* string literals holding commas, parentheses and quotes */\n")
        st(I, Call("S", [P("hwnd"), P(" WM_SETTEXT"), P(" 0"), P(" MPFROMP(\"Hello, world (again)\")")]))
        st(I, Call("P", [P("hwnd"), P(" MSGNAME(\"a,b)\")"), P(" 0"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" WM_SETTEXT"), P(" 0"), P(" MPFROMP(\"a\\\"b,c\")")]))
        st(I, Call("S", [P("hwnd"), P(" MSGNAME(\"a\\\"b,c\")"), P(" 0"), P(" 0")]))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_NAME"), P(" EM_SETTEXT"), P(" MPFROMP(\"C:\\\\OS2\\\\\")"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" WM_SETTEXT"), P(" 0"), P(" MPFROMP(\"%s, %d and 100%%\")")]))
        st(I, Call("P", [P("hwnd"), P(" UM_ERROR"), P(" MPFROMP(\"it's done; {really}\")"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" WM_SETTEXT"), P(" 0"), P(" MPFROMP(\"caf\u00e9, na\u00efve\")")]))
        c("    /* character literals */\n")
        st(I, Call("S", [P("hwnd"), P(" WM_CHAR"), P(" MPFROMCHAR(')')"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" WM_CHAR"), P(" MPFROMCHAR('\\'')"), P(" MPFROMCHAR(',')")]))
        st(I, Call("P", [P("hwnd"), P(" CHARMSG('(')"), P(" MPFROMCHAR('\"')"), P(" 0")]))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_NAME"), P(" CHARMSG('\\\\')"), P(" 0"), P(" MPFROMCHAR('\\'')")]))
        c("    /* a string that goes on on the next line after a backslash */\n")
        st(I, Call("S", [P("hwnd"), P(" WM_SETTEXT"), P(" 0"), P(" MPFROMP(\"first half, \\\n(second half\")")]))
        c("\n")

        c("    /* comments inside a call: no effect on its structure */\n")
        st(I, Call("S", [P("hwnd /* the client's (main) window, see above */"), P(" WM_ACTIVATE"), P(" 0"), P(" 0")]))
        st(I, Call("P", [P("hwnd"), P(" UM_REFRESH /* don't, (really) */"), P(" 0"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" // we'll send it (now), won't we\n               WM_TIMER"), P(" 0"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" WM_HSCROLL"), P("   // it's the first one\n               0"), P(" 0")]))
        st(I, Call("P", [P("hwnd"), P(" UM_THREADEND"), P(" /* first line's,\n                  second ) line */ 0"), P(" 0")]))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_NOTES"), P(" EM_SETSEL"),
                         P(" 0  // the start; and the end \\\n                  (the comment goes on here), 'x\n                      "),
                         P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" WM_USER /* (1 */ /* 2) */"), P(" 0"), P(" /*\"*/ 0")]))
        c("\n")

        c("    /* not calls: another name, no parenthesis, a pointer */\n")
        c("    WinSendMsgEx(hwnd, WM_NOTACALL, 0, 0);\n")
        c("    WinPostMsgToAll(WM_NOTACALL);\n")
        c("    WinSendDlgItemMsgA(hwndDlg, 1, WM_NOTACALL, 0, 0);\n")
        c("    pfnSend = WinSendMsg;\n")
        c("    pfnPost = &WinPostMsg;\n")
        c("    ulValue = (ULONG)WinSendDlgItemMsg + 1;\n")
        c("    (WinSendMsg)(hwnd, WM_NOTACALL, 0, 0);\n")
        c("    xWinSendMsg(hwnd, WM_NOTACALL, 0, 0);\n")
        c("    WinWinSendMsg(hwnd, WM_NOTACALL, 0, 0);\n")
        c("    pfnWinPostMsg(hwnd, WM_NOTACALL, 0, 0);\n")
        c("    Win2SendMsg(hwnd, WM_NOTACALL, 0, 0);\n")
        c("    winsendmsg(hwnd, WM_NOTACALL, 0, 0);\n")
        c("    WINSENDMSG(hwnd, WM_NOTACALL, 0, 0);\n")
        c("\n")

        c("    /* the underscore ends a word: these are calls */\n")
        st(I, simple("S", "hwnd", "WM_MY", "0", "0"), before="My_")
        st(I, simple("P", "hwnd", "UM_MY", "0", "0"), before="pfn_")
        st(I, simple("D", "hwndDlg", "LM_MY", "IDC_LIST", "0", "0"), before="my__")
        c("    /* a word that only ends in the name, after another W */\n")
        c(I)
        self.doc.glued("W", simple("S", "hwnd", "WM_GLUED", "0", "0"))
        c(";\n\n")

        c("    /* characters that have no place in a parameter list */\n")
        st(I, Call("S", [P("hwnd"), P(" WM_SETSTATE"), P(" MPFROMLONG(", Bad("~"), "0L)"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" WM_SETSTATE"), P(" MPFROMLONG(fl & ", Bad("~"), "FL_HIDDEN)"), P(" 0")]))
        st(I, Call("P", [P("hwnd"), P(" UM_SCRIPT"), P(" MPFROMLONG(my", Bad("$"), "var)"), P(" 0")]))
        st(I, Call("D", [P("hwndDlg"), P(" IDC_NAME"), P(" EM_SETFIRSTCHAR"), P(" MPFROMSHORT(", Bad("#"), "1)"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" WM_BOUNDS"), P(" MPFROMP(&(RECTL)", Bad("{"), "0, 0, 10, 10", Bad("}"), ")"), P(" 0")]))
        st(I, Call("S", [P("hwnd"), P(" WM_STATEMENT"), P(" MPFROMLONG(a", Bad(";"), "b)"), P(" 0")]))
        c("    /* reported for the outer call, though the inner one is not printed */\n")
        st(I, Call("S", [P("hwnd"), P(" WM_OUTER"), P(" ", Call("P", [P("h"), P(" WM_INNER"), P(" ", Bad("~"), "0"), P(" 0")])), P(" 0")]))
        c("    /* reported for the outer call, and again for the inner one */\n")
        st(I, Call("S", [P("hwnd"), P(" ", Call("P", [P("h"), P(" WM_TWICE"), P(" ", Bad("~"), "1"), P(" 0")])), P(" 0"), P(" 0")]))
        c("\n")

        c("    /* the names in comments and strings are found like any other text */\n")
        c("    /* here: ")
        self.call(simple("S", "hwnd", "WM_INCOMMENT", "0", "0"))
        c(" */\n")
        c("    // and here: ")
        self.call(simple("P", "hwnd", "UM_INLINECOMMENT", "0", "0"))
        c("\n")
        c("    printf(\"")
        self.call(Call("S", [P("%p")]))
        c(" failed\\n\", (PVOID)hwnd);\n")
        c("    puts(\"")
        self.call(Call("P", [P("h"), P(" WM_INSTRING"), P(" 0"), P(" 0")]))
        c("\");\n")
        c("\n")

        c("    /* a long line: " + "-" * 300 + " */ ")
        self.call(simple("S", "hwnd", "WM_FARRIGHT", "0", "0"))
        c(";\n")
        c(I)
        for k in range(12):
            kind = "SPD"[k % 3]
            self.call(simple(kind, "hwnd%d" % k, "WM_LONGLINE%d" % k, *(["IDC_%d" % k] if kind == "D" else []),
                             "MPFROMLONG(%d)" % (k * 1000), "MPFROMP(\"%s\")" % ("x" * 20)))
            c("; ")
        c("\n")
        c(I)
        self.call(Call("S", [P("hwnd"), P(" WM_LONGPARAM"), P(" MPFROMP(\"" + "long text, " * 40 + "\")"), P(" 0")]))
        c(";\n")
        c("}\n\n")

    def unfinished(self):
        """The file ends inside a call: nothing is printed for it."""
        self.code("/* The file ends inside a call that is never finished. */\n"
                  "static VOID Unfinished(HWND hwnd)\n"
                  "{\n"
                  "    WinSendMsg(hwnd, WM_NEVERPRINTED, MPFROMP(\"unfinished\"),\n")
        self.doc.calls_built += 1

    def generate(self):
        self.header()
        procs_before = 6
        for _ in range(procs_before):
            self.window_procedure()
        self.shapes()
        while self.doc.text().count("\n") < MIN_LINES + 40:
            self.window_procedure()
        self.unfinished()
        return self.doc


def check(doc):
    """Counts the calls in the text; they must be exactly those built."""
    text = doc.text()
    names = "|".join(name for name, _, _ in KINDS.values())
    found = re.findall(r"(?<![A-Za-z0-9])(?:%s)[ \t\n\v\f\r]*\(" % names, text)
    glued = re.findall(r"(?<=[A-Za-z0-9])(?:%s)[ \t\n\v\f\r]*\(" % names, text)
    not_calls = len(re.findall(r"WM_NOTACALL", text))
    # Of the names that follow another letter, only the glued ones are calls;
    # the rest are the "not calls" section.
    if len(found) != doc.calls_built - doc.glued_calls:
        sys.exit("check: %d calls in the text, %d built" % (len(found), doc.calls_built - doc.glued_calls))
    if len(glued) != doc.glued_calls + 3:  # xWinSendMsg, WinWinSendMsg, pfnWinPostMsg
        sys.exit("check: %d glued names, expected %d" % (len(glued), doc.glued_calls + 3))
    if not_calls != 10:
        sys.exit("check: %d WM_NOTACALL lines" % not_calls)
    if "WM_NOTACALL" in "".join(doc.expected) or "WM_NEVERPRINTED" in "".join(doc.expected):
        sys.exit("check: a non-call is expected in the output")
    lines = text.count("\n")
    if lines < MIN_LINES:
        sys.exit("check: only %d lines" % lines)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    doc = Generator(SEED).generate()
    check(doc)
    with open(os.path.join(here, "tallyx_sample.c"), "wb") as f:
        f.write(doc.text().encode("utf-8"))
    with open(os.path.join(here, "tallyx_sample.expected"), "wb") as f:
        f.write("".join(doc.expected).encode("utf-8"))
    print("wrote tallyx_sample.c (%d lines) and tallyx_sample.expected (%d lines)"
          % (doc.text().count("\n"), "".join(doc.expected).count("\n")))


if __name__ == "__main__":
    main()
