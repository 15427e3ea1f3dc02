#!/usr/bin/python3
"""Writes bench/RESULTS.md from the raw figures bench/run_all.sh collected.

    report.py WORK_DIR RESULTS_FILE

Only the standard library: it runs on a fresh machine with nothing but the
packages scripts/setup installs.
"""
import json
import re
import statistics
import sys
from pathlib import Path

work = Path(sys.argv[1])
out = Path(sys.argv[2])


def pairs(line):
    return dict(w.split("=", 1) for w in line.split()[1:] if "=" in w)


def lines(name, prefix):
    path = work / name
    if not path.exists():
        return []
    return [pairs(l) for l in path.read_text().splitlines() if l.startswith(prefix)]


machine = {}
for l in (work / "machine.txt").read_text().splitlines():
    k, _, v = l.partition("=")
    machine[k] = v


def ms(ns):
    return ns / 1e6


def fmt(x, digits=1):
    return f"{x:,.{digits}f}"


rows = []  # (what, ours, reference, ratio, goal, verdict)


def verdict(ok):
    return "pass" if ok else "**miss**"


# ---- the check against curl -------------------------------------------------
check = lines("check.txt", "run ")
def runs(bench, who, key):
    return [int(r[key]) for r in check if r["bench"] == bench and r["who"] == who]

check_rows = {}
for bench in ("check_bulk", "check_small"):
    ours = min(runs(bench, "ours", "wall_ns"))
    curl = min(runs(bench, "curl", "wall_ns"))
    check_rows[bench] = {
        "ours": ours, "curl": curl, "ratio": ours / curl,
        "ours_cpu": min(runs(bench, "ours", "cpu_ns")),
        "curl_cpu": min(runs(bench, "curl", "cpu_ns")),
    }
bulk = check_rows["check_bulk"]
bulk_ok = bulk["ratio"] <= 1.1
rows.append((
    "Mail check, 1,000 messages of 50 KB (plain POP3, loopback), best of 3",
    f"{fmt(ms(bulk['ours']), 0)} ms", f"curl {fmt(ms(bulk['curl']), 0)} ms",
    f"{bulk['ratio']:.2f}", "≤ 1.1 × curl (stretch: < 1.0)",
    verdict(bulk_ok) + (", stretch met" if bulk["ratio"] < 1.0 else ""),
))
small = check_rows["check_small"]
rows.append((
    "Mail check, 5,000 messages of 2 KB, best of 3",
    f"{fmt(ms(small['ours']), 0)} ms", f"curl {fmt(ms(small['curl']), 0)} ms",
    f"{small['ratio']:.2f}", "— (the issue sets 1.1 × curl for the 50 KB case)", "no goal",
))

# ---- the check over a link with a 50 ms round trip ------------------------------
link = lines("link.txt", "link ")
def link_ms(bench, who):
    return min(ms(int(r["wall_ns"])) for r in link if r["bench"] == bench and r["who"] == who)

for bench, server, goal, before in (
        ("dovecot", "Dovecot (PIPELINING)", 0.5, "0.41"),
        ("no_pipelining", "a server without PIPELINING (no CAPA)", 1.0, "2.69")):
    ours, curl = link_ms(bench, "ours"), link_ms(bench, "curl")
    rows.append((
        f"Mail check over a link of 25 ms each way, 50 messages of 20 KB, {server}, best of 3",
        f"{fmt(ours, 0)} ms", f"curl {fmt(curl, 0)} ms", f"{ours / curl:.2f}",
        f"≤ {goal} × curl (before this round: {before})", verdict(ours / curl <= goal),
    ))

# ---- reaching the server: time to the result of one check ---------------------
reach = lines("reach.txt", "reach ")
def reach_ms(bench, who):
    return min(ms(int(r["wall_ns"])) for r in reach if r["bench"] == bench and r["who"] == who)

tls_ours, tls_curl = reach_ms("tls_port", "ours"), reach_ms("tls_port", "curl")
rows.append((
    "Time to the result, the pop3s port without a scheme (`host:995`; here Dovecot's TLS "
    "port takes 995's place), best of 3",
    f"{fmt(tls_ours)} ms", f"curl with `pop3s://` {fmt(tls_curl)} ms", f"{tls_ours / tls_curl:.2f}",
    "≤ 1 s", verdict(tls_ours <= 1000),
))
clean, swallowed = reach_ms("clean_name", "ours"), reach_ms("swallowed_first", "ours")
curl_clean, curl_swallowed = reach_ms("clean_name", "curl"), reach_ms("swallowed_first", "curl")
rows.append((
    "Time to the result, a name whose first address (`::1`) swallows connection attempts "
    "beside one that answers, best of 3",
    f"{fmt(swallowed)} ms (+{fmt(swallowed - clean)} ms on a clean name's {fmt(clean)} ms)",
    f"curl {fmt(curl_swallowed)} ms (+{fmt(curl_swallowed - curl_clean)} ms)",
    f"{swallowed / curl_swallowed:.2f}", "≤ 0.5 s more than a clean name",
    verdict(swallowed - clean <= 500),
))
rows.append((
    "Time to the result, a TLS port given without a scheme (silent, then TLS on a second "
    "connection), best of 3",
    f"{fmt(reach_ms('silent_tls_port', 'ours'), 0)} ms", "— (curl cannot take the value)", "—",
    "— (about 3 s)", "no goal",
))
rows.append((
    "Time to the result, a bare host whose POP3 port refuses (then pop3s), best of 3",
    f"{fmt(reach_ms('bare_host_pop3s', 'ours'))} ms", "— (curl cannot take the value)", "—",
    "— (none in the issue)", "no goal",
))

mem = lines("memory.txt", "memory ")[0]
ours_kib = int(mem["ours_kib"])
curl_growth = max(0, int(mem["curl_kib"]) - int(mem["curl_tiny_kib"]))
rows.append((
    "Memory for one 50 MB message, peak above idle",
    f"+{fmt(ours_kib / 1024)} MiB",
    f"curl +{fmt(curl_growth / 1024)} MiB (its peak {fmt(int(mem['curl_kib']) / 1024)} MiB)",
    f"{ours_kib / curl_growth:.1f}" if curl_growth > 0 else "—",
    "— (the issue finds +7 MB fine)", "no goal",
))

# ---- start-up -----------------------------------------------------------------
startup = lines("startup.txt", "run ")
def start(name, key):
    return [int(r[key]) for r in startup if r["name"] == name and int(r[key]) >= 0]

s_ours, s_bare = min(start("ours", "wall_ns")), min(start("bare", "wall_ns"))
s_ratio = s_ours / s_bare
startup_ok = s_ratio <= 1.5
runs_n = len(start("ours", "wall_ns"))
rows.append((
    f"Start-up to the first painted main window, best of {runs_n}",
    f"{fmt(ms(s_ours))} ms", f"bare Qt window {fmt(ms(s_bare))} ms",
    f"{s_ratio:.2f}", "≤ 1.5 × bare window", verdict(startup_ok),
))
m_ours = statistics.median(start("ours", "main_cpu_ns"))
m_bare = statistics.median(start("bare", "main_cpu_ns"))
main_ratio = m_ours / m_bare
rows.append((
    f"Start-up CPU time of the main thread up to the first paint, median of {runs_n}",
    f"{fmt(ms(m_ours))} ms", f"bare Qt window {fmt(ms(m_bare))} ms",
    f"{main_ratio:.2f}", "— (what the time above comes to on an idle machine)", "no goal",
))
c_ours = statistics.median(start("ours", "cpu_ns"))
c_bare = statistics.median(start("bare", "cpu_ns"))
rows.append((
    f"Start-up CPU time of all threads, median of {runs_n}",
    f"{fmt(ms(c_ours))} ms", f"bare Qt window {fmt(ms(c_bare))} ms",
    f"{c_ours / c_bare:.2f}", "— (fonts are read on other threads)", "no goal",
))

# ---- windows: Google Benchmark, best of the repetitions ---------------------
bench = json.loads((work / "windows.json").read_text())
def cpu_us(name):
    times = [b["cpu_time"] for b in bench["benchmarks"]
             if b.get("run_name") == name and b.get("run_type") == "iteration"
             and not b.get("error_occurred")]
    if not times:
        return None
    unit = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[bench["benchmarks"][0]["time_unit"]]
    return min(times) * unit

def bench_row(what, ours, ref, ref_name):
    o, r = cpu_us(ours), cpu_us(ref)
    if o is None or r is None:
        rows.append((what, "failed", ref_name, "—", "—", "**failed**"))
        return
    rows.append((what, f"{fmt(o, 2)} µs", f"{ref_name} {fmt(r, 2)} µs", f"{o / r:.2f}",
                 "— (none in the issue)", "no goal"))

bench_row("Building the eight flight outlines (CPU time)", "BM_FrameOutlines",
          "BM_FrameOutlinesQtMask", "Qt's own mask-to-region path")
bench_row("One flight tick, window hidden (CPU time)", "BM_FlightTick",
          "BM_FlightTickWindowWorkOnly", "moving the window and setting its mask alone")
bench_row("One airframe step (CPU time)", "BM_AirframeStep",
          "BM_AirframeStepOneFrameCopy", "one copy of the whole client picture")

# ---- CPU of the running program -------------------------------------------------
cpu = {r["name"]: r for r in lines("cpu.txt", "cpu ")}
def share(name):
    r = cpu[name]
    return 100.0 * int(r["cpu_ns"]) / int(r["wall_ns"])
def rate(name):
    r = cpu[name]
    return int(r["frames"]) * 1e9 / int(r["wall_ns"])

air, air_ref = share("airframe_ours"), share("airframe_bare")
air_ok = air < 5.0
rows.append((
    "CPU of the airframe view (main window animating), 10 s",
    f"{air:.1f} % of a core at {rate('airframe_ours'):.0f} frames/s",
    f"bare window repainted at {rate('airframe_bare'):.0f} frames/s: {air_ref:.1f} %",
    f"{air / air_ref:.1f}" if air_ref > 0 else "—", "< 5 % of one core", verdict(air_ok),
))
idle, idle_ref = share("idle_ours"), share("idle_bare")
rows.append((
    "CPU of the idle program (flight timer running, window hidden), 10 s",
    f"{idle:.2f} % of a core", f"bare window idle {idle_ref:.2f} %",
    f"{idle / idle_ref:.1f}" if idle_ref > 0 else "—", "— (none in the issue)", "no goal",
))

# ---- profiles ---------------------------------------------------------------------
def annotate(name):
    """(inclusive or self Ir, function) from callgrind_annotate output."""
    entries = []
    path = work / name
    if not path.exists():
        return entries
    for l in path.read_text().splitlines():
        m = re.match(r"^\s*([\d,]+)\s+\(\s*[\d.]+%\)\s+(\S.*)$", l)
        if m and "=>" not in l and "events annotated" not in l:
            entries.append((int(m.group(1).replace(",", "")), m.group(2)))
    return entries

def function_name(entry):
    """The function of an annotate entry, without file, object and recursion marks."""
    text = re.sub(r"\s+\[[^\]]*\]$", "", entry)
    text = text.split(":", 1)[1] if re.match(r"^[^(]*?:", text) else text
    return text.strip()

def by_function(entries, combine):
    """Entries merged by function name (inlined code is listed once per file)."""
    merged = {}
    for ir, e in entries:
        name = function_name(e)
        if "PROGRAM TOTALS" in e or "'" in name:
            continue
        merged[name] = combine(merged.get(name, 0), ir)
    return sorted(((ir, name) for name, ir in merged.items()), reverse=True)


def inclusive(entries, prefixes):
    total = 0
    for prefix in prefixes:
        found = [ir for ir, e in entries
                 if function_name(e).startswith(prefix) and "'" not in function_name(e)]
        total += max(found, default=0)
    return total

startup_profile = annotate("startup-profile.txt")
program_total = next((ir for ir, e in startup_profile if "PROGRAM TOTALS" in e), 0)
components = [
    ("Loading and relocating the program's libraries at exec", ["_dl_start"]),
    ("The application object (platform plugin, display connection)",
     ["QApplication::QApplication("]),
    ("Fonts: reading fontconfig's configuration (FcInit; on a thread of its own)", ["FcInit"]),
    ("Fonts: Qt's font database and faces (FcInit included where it is not read ahead)",
     ["QFontDatabasePrivate::ensureFontDatabase(", "QFontDatabasePrivate::findFont("]),
    ("Translations (Qt's Japanese button texts)", ["QTranslator::load("]),
    ("Pictures: decoding, with the image plugins", ["QImageReader::read(QImage*)"]),
    ("The flight window: its pictures, outlines and timer", ["Form1::Form1(", "Form1::Form_Load("]),
    ("  of which the eight outlines", ["FrameShapes::outline("]),
    ("Sound start-up", ["Module1::Module1(", "SDL_InitSubSystem"]),
    ("D-Bus: system bus, hang-up", ["QDBusConnection::systemBus(",
                                    "NetworkManagerHangUp::NetworkManagerHangUp("]),
    ("The main window's widgets, menu and layout (fonts and pictures included)",
     ["MainForm::MainForm("]),
    ("The first paint and its flush", ["QWidgetRepaintManager::paintAndFlush("]),
]

phase_names = [("loaded_ns", "libraries loaded (static initialisation)"),
               ("app_ns", "application object made"),
               ("shown_ns", "main window loaded and shown"),
               ("painted_ns", "first paint begins"),
               ("wall_ns", "first paint flushed to the display")]

parts = {}
for r in lines("parts.txt", "part "):
    parts.setdefault(r["name"], []).append(int(r["ns"]))
part_labels = {
    "font_configuration": "reading the font configuration (in the program: on its own thread "
    "while the application object is made)",
    "application": "the application object (platform plugin, display connection)",
    "translations": "translations: Qt's Japanese texts",
    "icon": "the window icon (first picture: the image plugins are found)",
    "fonts": "fonts: Qt's database, plain and bold face, Japanese text",
    "cockpit_picture": "the cockpit picture (JPEG)",
    "sprite_sheet": "the sprite sheet",
    "flight_pictures": "the eight flight frames",
    "flight_outlines": "the eight outlines",
    "sound": "sound start-up: the sound layer",
    "sound_library": "loading the sound library (SDL; now with the first sound)",
    "dbus_system_bus": "D-Bus: connecting to the system bus (now with the first hang-up)",
    "hang_up": "the platform's hang-up object, bus already connected",
}

check_self = annotate("check-self.txt")
check_incl = annotate("check-inclusive.txt")
check_total = next((ir for ir, e in check_self if "PROGRAM TOTALS" in e), 0)
bulk_bytes = 1000 * 50000

# ---- write ------------------------------------------------------------------------
md = []
w = md.append
w("# Benchmark results")
w("")
w("Written by `bench/run_all.sh` (do not edit by hand; run it again). "
  f"Run {machine.get('date', '')} on: **{machine.get('cpu', '?')}, {machine.get('cores', '?')} "
  f"cores, {machine.get('kernel', '?')}**; Qt {machine.get('qt', '?')}, "
  f"{machine.get('build_type', '?')} build. Load average before / after the run: "
  f"{machine.get('load_before', '?')} / {machine.get('load_after', '?')} "
  "(other work on the machine slows every figure; the best of several runs is kept where "
  "time is measured, CPU time is given where it fits).")
w("")
try:
    busy = float(machine.get("load_before", "0").split()[0]) > float(machine.get("cores", "1"))
except ValueError:
    busy = False
if busy:
    w("**The machine was busy when the run began** (load above its core count): times are "
      "longer than on an idle machine, and wall-time ratios less certain than CPU-time ones.")
    w("")
w("| Benchmark | Ours | Reference | Ratio | Goal | Verdict |")
w("|---|---|---|---|---|---|")
for row in rows:
    w("| " + " | ".join(row) + " |")
w("")
w("Every line ran on the machine above, in the same run as its reference.")
w("")

w("## How each figure is taken")
w("")
w("- **Mail check.** The program's own check (`MainForm::CheckMail`: connect, read the "
  "account, log in, per message status, size and the whole message, QUIT, the result "
  "window) with the server value `pop3://127.0.0.1:PORT` (plain POP3, no STLS upgrade), "
  "against one `curl` process fetching the same messages with all their `pop3://…/N` "
  "URLs over one connection. A private Dovecot on loopback serves both; each mailbox is "
  "read once by each before timing (Dovecot builds its indexes). Check and curl run in "
  "turns, three times each; the best wall time of each counts. CPU time of our process "
  "and of curl is kept for the profile below.")
w("- **Over a slow link.** The same check and curl on a mailbox of 50 messages of 20 KB, "
  "each through `bench/mail/delay_proxy.py`, a loopback proxy that delivers every chunk "
  "25 ms after it arrived, in each direction, in order and overlapping (a 50 ms round "
  "trip at full throughput): in front of the benchmark's Dovecot, which offers PIPELINING, "
  "and in front of the tests' small server in its `no-capabilities` mode, which knows no "
  "CAPA (as popa3d). One unrecorded round, then three; the best of each counts. Without "
  "pipelining both need one round trip per message, and the check two more than curl "
  "(STAT for the count it reports, LIST for the sizes), so its floor is 56 round trips "
  "to curl's 54 (1.04).")
w("- **Reaching the server.** Time to the result of one check (the program's own, as "
  "above) of a one-message mailbox, for ways of writing the server value, beside one "
  "`curl` fetching that message where curl takes the same server: the pop3s port without "
  "a scheme (the program is told that Dovecot's TLS port is the pop3s port, as 995 is "
  "elsewhere) against curl's `pop3s://`; a name (`kestrova.test`, looked up through the "
  "program's resolver seam and curl's `--resolve`) whose addresses are `::1`, a listener "
  "with a full backlog that answers no connection attempt, and `127.0.0.1`, a small test "
  "server, against the same name with `127.0.0.1` alone. One unrecorded round, then three; "
  "the best of each counts.")
w("- **Memory.** Peak resident size (`VmHWM`, reset through `/proc/self/clear_refs`) "
  "during a check of one 50 MB message, above the resident size just before it, after a "
  "first check has run every code path. curl's figure is its peak (`wait4`) fetching the "
  "same message less its peak fetching a 2 KB one.")
w("- **Start-up.** The program's own start-up code (`src/app/main.cpp` and everything it "
  "calls) built with a probe beside it that notes, on the monotonic clock, when the main "
  "window is first painted and that paint has reached the X server; the bare reference is "
  "one fixed-size `QWidget` (222 × 170, the main window's size) built the same way with "
  "the same probe. The clock starts just before `fork`/`exec`, so loading the libraries "
  "counts. All three programs start in turns from an empty folder, on a private Xvfb with "
  "a private D-Bus bus as session and system bus (it starts no services), one unrecorded "
  "start each first. The CPU times come from `wait4` (the whole process) and from the "
  "probe (`getrusage(RUSAGE_THREAD)` of the main thread, which counts from the process's "
  "start, at the flushed first paint): ours reads the font configuration and fills Qt's "
  "font database on other threads, so only the main thread's CPU time is the critical "
  "path; on an idle machine the wall time is that plus the waits for the X server.")
w("- **Outlines, flight tick, airframe step.** Google Benchmark, CPU time, best of three "
  "repetitions, on the loaded windows under the same Xvfb.")
w("- **CPU of the running program.** The same probe build: after the first paint and one "
  "more second, the process's CPU time (all threads, `getrusage`) over 10 s of wall time, "
  "idle or after a click on the view switch `Label1`; frames are the window's repaints. The "
  "bare window's reference for the airframe view is the same window repainted by a timer "
  "at the rate the airframe view reached.")
w("")

w("## Where the start-up time goes")
w("")
w("Phases of the start-up (ms from `exec`, each the fastest of the runs above: on a busy "
  "machine the medians mostly show the waits for the CPU):")
w("")
w("| Phase | Ours | Bare window | Bare window with one Japanese caption |")
w("|---|---|---|---|")
for key, label in phase_names:
    cells = []
    for name in ("ours", "bare", "caption"):
        values = start(name, key)
        cells.append(fmt(ms(min(values))) if values else "—")
    w(f"| {label} | " + " | ".join(cells) + " |")
w("")
s_caption = min(start("caption", "wall_ns"), default=0)
if s_caption:
    w(f"Best first paint of the bare window with one caption: {fmt(ms(s_caption))} ms, "
      f"{s_caption / s_bare:.2f} × the bare window; ours is {s_ours / s_caption:.2f} × that. "
      "The difference between the two bare windows is what starting the font system and "
      "drawing one line of Japanese text costs any Qt program.")
w("")
w("Pieces of the start-up's work, each timed alone in start-up order in a fresh process "
  f"under the same display (`startup_parts`, median of {len(next(iter(parts.values()), []))} "
  "runs, ms). They do not add up to the whole: creating, polishing and laying out the "
  "windows is not among them.")
w("")
w("| Piece | ms |")
w("|---|---|")
for name, values in parts.items():
    w(f"| {part_labels.get(name, name)} | {fmt(ms(statistics.median(values)), 2)} |")
w("")
if program_total:
    w(f"Instructions of one start of the probe build (callgrind, {fmt(program_total / 1e6)} M "
      "in all; page faults, waiting for the X server and other system time do not show "
      "here):")
    w("")
    w("| Component (inclusive) | M instructions | Share |")
    w("|---|---|---|")
    for label, prefixes in components:
        ir = inclusive(startup_profile, prefixes)
        w(f"| {label} | {fmt(ir / 1e6, 2)} | {100.0 * ir / program_total:.1f} % |")
    w("")

w("## Profile of the check (1,000 × 50 KB)")
w("")
w(f"CPU time against wall time, best runs: our process {fmt(ms(bulk['ours_cpu']), 0)} ms of "
  f"{fmt(ms(bulk['ours']), 0)} ms, curl {fmt(ms(bulk['curl_cpu']), 0)} ms of "
  f"{fmt(ms(bulk['curl']), 0)} ms; for 5,000 × 2 KB ours {fmt(ms(small['ours_cpu']), 0)} ms of "
  f"{fmt(ms(small['ours']), 0)} ms, curl {fmt(ms(small['curl_cpu']), 0)} ms of "
  f"{fmt(ms(small['curl']), 0)} ms. The rest of the wall time is spent waiting for Dovecot, "
  "which runs on the same cores.")
w("")
if check_total:
    w(f"callgrind of one check (`MainForm::CheckMail` and what it calls, after a first check): {fmt(check_total / 1e6)} M "
      f"instructions, {check_total / bulk_bytes:.1f} per message byte. Most costly functions "
      "by their own instructions:")
    w("")
    w("| Self M instructions | Share | Function |")
    w("|---|---|---|")
    for ir, name in by_function(check_self, lambda a, b: a + b)[:15]:
        w(f"| {fmt(ir / 1e6, 2)} | {100.0 * ir / check_total:.1f} % | `{name[:110]}` |")
    w("")
    ours_funcs = [(ir, name) for ir, name in by_function(check_incl, max)
                  if re.match(r"^(NMail|Pop3|MailHeader|SpanWriter|Cp932|MainForm::CheckMail)", name)]
    if ours_funcs:
        w("The mail code's own functions, inclusive:")
        w("")
        w("| Inclusive M instructions | Share | Function |")
        w("|---|---|---|")
        for ir, name in ours_funcs[:15]:
            w(f"| {fmt(ir / 1e6, 2)} | {100.0 * ir / check_total:.1f} % | `{name[:110]}` |")
        w("")

# What each session asked of the server, from Dovecot's logout lines.
sessions = {}
dovecot_log = work / "dovecot.log"
if dovecot_log.exists():
    for l in dovecot_log.read_text(errors="replace").splitlines():
        m = re.search(r"pop3\((\w+)\).*retr=(\d+)/(\d+), del=(\d+)/\d+, top=(\d+)/(\d+)", l)
        if m:
            sessions.setdefault(m.group(1), []).append(m)
if "bulk" in sessions:
    kinds = sorted({(int(m.group(2)), int(m.group(5))) for m in sessions["bulk"]})
    deleted = sum(int(m.group(4)) for m in sessions["bulk"])
    w("Dovecot's logout lines for the 1,000 × 50 KB mailbox show sessions of these kinds: "
      + "; ".join(f"RETR {r}, TOP {t}" for r, t in kinds)
      + ". curl sends RETR only; the check sends TOP (the status), LIST (the size; Dovecot "
      "does not count it) and RETR for each message. "
      + ("No session deleted anything." if deleted == 0
         else f"**{deleted} messages were deleted**: the check must never delete."))
    w("")

misses = []
if not bulk_ok:
    misses.append(
        f"- **Mail check** ({bulk['ratio']:.2f} × curl): our process was busy "
        f"{fmt(ms(bulk['ours_cpu']), 0)} ms of {fmt(ms(bulk['ours']), 0)} ms; see the profile "
        "above for where that CPU time goes. Each message costs the check three commands "
        "(TOP for the status, LIST for the size, RETR), each waiting for its answer, where curl "
        "sends one: those waits show in the wall time, not in the CPU time.")
if startup_ok and main_ratio > 1.5:
    misses.append(
        f"- **Start-up, on an idle machine**: the first paint passed at {s_ratio:.2f} × the "
        f"bare window in wall time, but the main thread's CPU time is {main_ratio:.2f} × the "
        "bare window's; on a busy machine both programs wait for the CPU, which narrows the "
        "wall-time ratio. See where the start-up time goes above.")
if not startup_ok:
    misses.append(
        f"- **Start-up** ({s_ratio:.2f} × the bare window): the bare window draws no text, "
        "so it never starts the font system; see the phases, pieces and instruction shares "
        "above.")
if not air_ok:
    misses.append(
        f"- **Airframe view** ({air:.1f} % of a core): it repaints "
        f"{rate('airframe_ours'):.0f} times a second; the bare window repainted at that rate "
        f"costs {air_ref:.1f} % by itself, so the cost follows the frame rate, which its "
        "timer sets, more than the drawing of one step (see the step's line above).")
if misses:
    w("## Misses explained")
    w("")
    md.extend(misses)
    w("")

out.write_text("\n".join(md))
