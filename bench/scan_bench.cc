// Micro-benchmarks of the line scan: the whole source loop (process_source)
// over texts held in memory, in tallyx's way (replacements echoed, nothing
// copied) and in zaptor's (every buffer copied to the destination), on the
// shapes that bench/run.sh times with the programs: ordinary source, one
// very long line, one call over very many lines, deep nesting, and tables
// of growing size.
//
//   scan_bench --benchmark_filter=Nested
//
// The texts are made here, deterministically, so that the benchmarks need
// no files; bench/gen_corpus.py makes the larger, more varied inputs of the
// program benchmarks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

namespace zaptor {
namespace {

struct Entry {
  std::string name;
  std::string format;  // empty: calls deleted
  std::vector<std::int32_t> order;
};

// The table the benchmarks that follow convert with.
std::shared_ptr<const Table> g_table;

void install(const std::vector<Entry>& entries) {
  std::vector<_apitype> table;
  for (const Entry& in : entries) {
    _apitype entry;
    entry.pchName = in.name;
    if (!in.format.empty()) entry.pchformat = in.format;
    entry.cb = static_cast<std::int32_t>(in.name.size());
    entry.cParms = static_cast<std::int32_t>(in.order.size());
    for (std::size_t k = 0; k < in.order.size() && k < kOrderSlots; ++k) entry.iOrder[k] = in.order[k];
    table.push_back(entry);
  }
  g_table = make_table(std::move(table));
}

// tallyx's three entries.
std::vector<Entry> tally_table() {
  return {{"WinSendMsg", "S %s\n", {1}}, {"WinPostMsg", "P %s\n", {1}}, {"WinSendDlgItemMsg", "D %s\n", {2}}};
}

// The three message functions rewritten with all their parameters.
std::vector<Entry> message_table() {
  return {{"WinSendMsg", "SendMessage(%s,%s,%s,%s)", {0, 1, 2, 3}},
          {"WinPostMsg", "PostMessage(%s,%s,%s,%s)", {0, 1, 2, 3}},
          {"WinSendDlgItemMsg", "SendDlgItemMessage(%s,%s,%s,%s,%s)", {0, 1, 2, 3, 4}}};
}

// A realistic conversion table of 20 entries (as bench/gen_corpus.py's).
std::vector<Entry> realistic_table() {
  std::vector<Entry> t = message_table();
  const std::vector<Entry> more = {
      {"WinQueryWindowULong", "GetWindowLong(%s,%s)", {0, 1}},
      {"WinQueryWindowPtr", "GetWindowLongPtr(%s,%s)", {0, 1}},
      {"WinSetWindowText", "SetWindowText(%s,%s)", {0, 1}},
      {"WinDestroyWindow", "DestroyWindow(%s)", {0}},
      {"WinInvalidateRect", "InvalidateRect(%s,%s,%s)", {0, 1, 2}},
      {"WinEnableWindow", "EnableWindow(%s,%s)", {0, 1}},
      {"WinShowWindow", "ShowWindow(%s,%s ? SW_SHOW : SW_HIDE)", {0, 1}},
      {"WinWindowFromID", "GetDlgItem(%s,%s)", {0, 1}},
      {"WinDefWindowProc", "DefWindowProc(%s,%s,%s,%s)", {0, 1, 2, 3}},
      {"WinDismissDlg", "EndDialog(%s,%s)", {0, 1}},
      {"WinMessageBox", "MessageBox(%s,%s,%s,%s)", {1, 2, 3, 5}},
      {"WinSetWindowPos", "SetWindowPos(%s,%s,%s,%s,%s,%s,%s)", {0, 1, 2, 3, 4, 5, 6}},
      {"GpiSetColor", "SetTextColor(%s,%s)", {0, 1}},
      {"GpiMove", "MoveToEx(%s,%s, NULL)", {0, 1}},
      {"GpiLine", "LineTo(%s,%s)", {0, 1}},
      {"DosSleep", "Sleep(%s)", {0}},
      {"DosBeep", "", {}},
  };
  t.insert(t.end(), more.begin(), more.end());
  return t;
}

// The message entries followed by unused names, up to `size` entries; the
// names begin with every letter and digit, so that nearly every word of
// the text is a candidate.
std::vector<Entry> big_table(std::size_t size) {
  std::vector<Entry> t = message_table();
  static constexpr std::string_view kAlnum =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::mt19937 rng(7);
  for (std::size_t i = 0; t.size() < size; ++i) {
    std::string name(1, kAlnum[i % kAlnum.size()]);
    name += "Qz";
    const std::size_t length = 4 + rng() % 37;
    while (name.size() < length) name += kAlnum[rng() % kAlnum.size()];
    name += std::to_string(i);  // distinct
    t.push_back({name, "f(%s)", {0}});
  }
  return t;
}

// Deterministic realistic source of about `bytes` bytes: a message call
// every 8 to 15 lines among ordinary lines with comments, literals holding
// commas, parentheses and escaped quotes, #if blocks and other calls.
std::string ordinary_text(std::size_t bytes, bool with_calls = true) {
  static const std::vector<std::string_view> kFiller = {
      "    // update the list before painting, (see below)",
      "    /* count the items, x, y */",
      "    ulRc = cItems * 3 + (usId >> 2);",
      "    strcpy(szBuffer, \"Save \\\"%s\\\" (y/n)?\");",
      "    sprintf(szMsg, \"Error %d, (code %s)\", rc, pszCode);",
      "    ch = ',';",
      "    if (ch == ')' || ch == '\\'') cch++;",
      "    pData = (PDATA)WinQueryWindowPtr(hwndDlg, QWL_USER);",
      "    WinSetWindowText(hwndTitle, \"Title, (v1.0)\");",
      "    WinEnableWindow(WinWindowFromID(hwndDlg, DID_OK), fEnable);",
      "    WinInvalidateRect(hwnd, NULL, FALSE);",
      "    GpiMove(hps, &ptl);",
      "#if defined(DEBUG_TRACE)",
      "    TRACE(\"msg %lx, mp1 %p\", msg, mp1);",
      "#endif",
      "    memset(&ptl, 0, sizeof(ptl)); ptl.x = 10; ptl.y = ptl.x / 2;",
      "    DosBeep(440, 100);",
      "    for (i = 0; i < cItems; i++) {",
      "        apsz[i] = \"It\\'s done, (really)\";",
      "    }",
      "",
      "    /* WinSendMsg is not called here; */",
  };
  static const std::vector<std::string_view> kCalls = {
      "    WinSendMsg(hwnd, WM_COMMAND, MPFROMSHORT(IDC_OK), MPFROM2SHORT(CMDSRC_OTHER, FALSE));",
      "    mr = WinPostMsg (hwndFrame, WM_CLOSE, (MPARAM)0, (MPARAM)0);",
      "    WinSendDlgItemMsg(hwndDlg, IDC_LIST, LM_INSERTITEM, MPFROMSHORT(LIT_END), MPFROMP(\"a, (b)\"));",
      "    sIndex = SHORT1FROMMR(WinSendDlgItemMsg(hwndDlg, IDC_LIST,\n"
      "                                            LM_QUERYSELECTION,\n"
      "                                            MPFROMSHORT(LIT_FIRST), 0));",
      "    WinSendMsg(hwnd, (ULONG)WinSendMsg(hwndList, LM_QUERYITEMCOUNT, 0, 0), MPFROMCHAR(')'), 0);",
      "    WinPostMsg(hwnd, WM_USER + 1, /* why, (here) */ MPFROMP(\"\\\"q\\\", (x)\"), 0L);",
      "    if (WinSendMsg\t(hwndCheck, BM_QUERYCHECK, 0, 0))\n        fChecked = TRUE;",
  };
  std::mt19937 rng(1);
  std::string text;
  text.reserve(bytes + 4096);
  while (text.size() < bytes) {
    const unsigned gap = 7 + rng() % 8;
    for (unsigned i = 0; i < gap; ++i) text.append(kFiller[rng() % kFiller.size()]).push_back('\n');
    if (with_calls) text.append(kCalls[rng() % kCalls.size()]).push_back('\n');
  }
  return text;
}

// One line holding `calls` calls.
std::string long_line(std::size_t calls) {
  std::string text;
  for (std::size_t i = 0; i < calls; ++i) {
    text += i % 3 == 0   ? "WinSendMsg(hwnd, WM_SIZE, MPFROMP(\"a, (b)\"), 0); /* x, (y) */ "
            : i % 3 == 1 ? "WinPostMsg (hwnd, WM_USER + 1, MPFROMCHAR(','), mp2); "
                         : "WinSendDlgItemMsg(hwndDlg, IDC_LIST, LM_DELETEALL, 0, 0); x = y; ";
  }
  return text + "\n";
}

// One call whose message spans `lines` lines that hold calls.
std::string long_call(std::size_t lines) {
  std::string text = "    WinSendMsg(hwnd,\n               WM_USER + (\n";
  for (std::size_t i = 0; i < lines; ++i) {
    text += i % 2 == 0 ? "                   (ULONG)WinPostMsg(hwnd, WM_SIZE, 0, MPFROMP(\"a, (\")) +\n"
                       : "                   /* step, (n) */ strlen(\"x, )\") + // more\n";
  }
  return text + "                   0), 0, 0);\n";
}

// Calls nested `depth` deep, each in the first message parameter of the one
// outside it.
std::string nested(std::size_t depth) {
  std::string text = "    mr = ";
  for (std::size_t i = 0; i < depth; ++i) {
    text += i % 3 == 2 ? "WinSendDlgItemMsg(hwndDlg, IDC_LIST, LM_SETITEMTEXT,\n      "
                       : (i % 3 == 0 ? "WinSendMsg(hwnd, WM_SIZE,\n      " : "WinPostMsg (hwnd, WM_CHAR,\n      ");
  }
  text += "0";
  for (std::size_t i = 0; i < depth; ++i) {
    text += ", MPVOID)";
    if (i % 10 == 9) text += "\n      ";
  }
  return text + ";\n";
}

enum class Mode { tally, rewrite };

// Runs the source loop over `text` once per iteration.
void run_loop(benchmark::State& state, const std::string& text, Mode mode) {
  std::string printed;
  std::string copied;
  for (auto _ : state) {
    printed.clear();
    copied.clear();
    LineReader reader(text);
    Output dst(printed);
    Output copy(copied);
    Conversion e(g_table);
    e.fp_src = &reader;
    e.bEchoFormatted = mode == Mode::tally;
    e.fp_dst = mode == Mode::tally ? &dst : &copy;
    const SourceResult result = e.process_source(reader, mode == Mode::tally ? nullptr : &copy);
    benchmark::DoNotOptimize(result);
    benchmark::DoNotOptimize(printed.data());
    benchmark::DoNotOptimize(copied.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["out_bytes"] = static_cast<double>(mode == Mode::tally ? printed.size() : copied.size());
}

constexpr std::size_t kOrdinaryBytes = 4 << 20;

void BM_Tally_Ordinary(benchmark::State& state) {
  static const std::string text = ordinary_text(kOrdinaryBytes);
  install(tally_table());
  run_loop(state, text, Mode::tally);
}
BENCHMARK(BM_Tally_Ordinary)->Unit(benchmark::kMillisecond);

void BM_Rewrite_Ordinary(benchmark::State& state) {
  static const std::string text = ordinary_text(kOrdinaryBytes);
  install(realistic_table());
  run_loop(state, text, Mode::rewrite);
}
BENCHMARK(BM_Rewrite_Ordinary)->Unit(benchmark::kMillisecond);

// No message calls at all: the cost of reading lines and skipping words.
void BM_Tally_NoCalls(benchmark::State& state) {
  static const std::string text = ordinary_text(kOrdinaryBytes, false);
  install(tally_table());
  run_loop(state, text, Mode::tally);
}
BENCHMARK(BM_Tally_NoCalls)->Unit(benchmark::kMillisecond);

void BM_Rewrite_NoCalls(benchmark::State& state) {
  static const std::string text = ordinary_text(kOrdinaryBytes, false);
  install(message_table());
  run_loop(state, text, Mode::rewrite);
}
BENCHMARK(BM_Rewrite_NoCalls)->Unit(benchmark::kMillisecond);

// Shapes whose cost must stay linear: the argument is the number of calls,
// lines or levels; Complexity() fits the times.
void BM_LongLine(benchmark::State& state, Mode mode) {
  const std::string text = long_line(static_cast<std::size_t>(state.range(0)));
  install(mode == Mode::tally ? tally_table() : message_table());
  run_loop(state, text, mode);
  state.SetComplexityN(state.range(0));
}
BENCHMARK_CAPTURE(BM_LongLine, tally, Mode::tally)
    ->RangeMultiplier(10)->Range(1000, 100000)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LongLine, rewrite, Mode::rewrite)
    ->RangeMultiplier(10)->Range(1000, 100000)->Complexity()->Unit(benchmark::kMillisecond);

void BM_LongCall(benchmark::State& state, Mode mode) {
  const std::string text = long_call(static_cast<std::size_t>(state.range(0)));
  install(mode == Mode::tally ? tally_table() : message_table());
  run_loop(state, text, mode);
  state.SetComplexityN(state.range(0));
}
BENCHMARK_CAPTURE(BM_LongCall, tally, Mode::tally)
    ->RangeMultiplier(10)->Range(1000, 100000)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LongCall, rewrite, Mode::rewrite)
    ->RangeMultiplier(10)->Range(1000, 100000)->Complexity()->Unit(benchmark::kMillisecond);

// Nesting stops at 8,192 levels here: a scan that costs the square of the
// depth would otherwise keep this suite from finishing. run.sh tries 100,000.
void BM_Nested(benchmark::State& state, Mode mode) {
  const std::string text = nested(static_cast<std::size_t>(state.range(0)));
  install(mode == Mode::tally ? tally_table() : message_table());
  run_loop(state, text, mode);
  state.SetComplexityN(state.range(0));
}
BENCHMARK_CAPTURE(BM_Nested, tally, Mode::tally)
    ->RangeMultiplier(2)->Range(512, 8192)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Nested, rewrite, Mode::rewrite)
    ->RangeMultiplier(2)->Range(512, 8192)->Complexity()->Unit(benchmark::kMillisecond);

// The same text with tables of 3 to 10,000 entries.
void BM_TableSize(benchmark::State& state) {
  static const std::string text = ordinary_text(kOrdinaryBytes);
  install(big_table(static_cast<std::size_t>(state.range(0))));
  run_loop(state, text, Mode::rewrite);
}
BENCHMARK(BM_TableSize)->Arg(3)->Arg(20)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zaptor

BENCHMARK_MAIN();
