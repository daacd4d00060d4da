"""The rounds' figures as the doc's Markdown tables and a plot of the periods.

Each figure shown is the median over the rounds, and each target is judged on that median with
the range beside it: one noisy round neither fails nor passes a target on its own.
"""

import statistics

from measure import ROOT, percentile

DOC = ROOT / "docs" / "benchmarks.md"
PLOT = ROOT / "docs" / "bench-periods.png"
BEGIN = "<!-- bench:begin (written by bench/run.py) -->"
END = "<!-- bench:end -->"


def intervals(results):
    """The intervals measured, in ms, shortest first."""
    return sorted(int(key) for key in results["rounds"][0]["ours"])


def has_wayland(results):
    """Whether the Linux program was measured on the headless KWin too."""
    return bool(results["rounds"][0].get("wayland"))


def has_wine(results):
    """Whether Morvane.exe was measured under Wine."""
    return results["rounds"][0]["wine"] is not None


def median_run(runs):
    """Each numeric figure of the same measurement in every round, the median over them."""
    out = {}
    for key in runs[0]:
        values = [r[key] for r in runs if isinstance(r.get(key), (int, float))]
        if values:
            out[key] = statistics.median(values)
    if "hwm_kb" in out:
        out["hwm_mib"] = out["hwm_kb"] / 1024
    return out


def fmt(value, digits=3):
    """A figure with `digits` decimals, or a dash where the run has none."""
    return "—" if value is None else f"{value:z.{digits}f}"


def ratio(ours, peer):
    """Ours over the peer's, where both exist and the peer's is not zero."""
    if ours is None or peer is None or peer == 0:
        return "—"
    return f"{ours / peer:.2f}"


ROWS = [  # (label, key, digits)
    ("clicks recorded", "clicks", 0),
    ("clicks/s (recorder clock)", "rate", 1),
    ("median period, ms (recorder clock)", "median_period", 3),
    ("median period, ms (server stamps)", "server_median_period", 0),
    ("median period − setting, ms (recorder clock)", "median_error", 3),
    ("median \\|period − setting\\|, ms (recorder clock)", "median_abs_error", 3),
    ("p99 \\|period − setting\\|, ms (recorder clock)", "p99_abs_error", 3),
    ("drift over the run, ms (recorder clock)", "drift", 2),
    ("drift over the run, ms (server stamps)", "server_drift", 0),
    ("drift over the first 1000 clicks, ms (recorder clock)", "drift_1000", 2),
    ("of the drift: beats without a click", "missed_beats", 0),
    ("of the drift: last click off the first one's beat grid, ms", "grid_offset", 3),
    ("CPU while clicking, % of one core", "cpu_pct", 2),
    ("the same from /proc/PID/stat utime+stime (10 ms ticks)", "cpu_stat_pct", 2),
    ("CPU per click, µs", "cpu_us_per_click", 1),
    ("wineserver CPU meanwhile, % of one core", "wineserver_cpu_pct", 2),
    ("KWin, portals and Xwayland CPU meanwhile, % of one core", "desktop_cpu_pct", 2),
    ("peak RSS (VmHWM), MiB", "hwm_mib", 1),
    ("machine busy meanwhile, % of all cores (context)", "machine_pct", 1),
    ("VM steal meanwhile, ms, all cores (context; 10 ms ticks)", "steal_ms", 0),
]


def timing_table(results):
    """One table per interval: every row of ROWS for the Linux program, the peer and Wine."""
    extra = [(side, title) for side, title, present in (
        ("wine", "Morvane.exe (Wine)", has_wine(results)),
        ("wayland", "Morvane (Linux, Wayland: headless KWin)", has_wayland(results))) if present]
    lines = []
    for interval_ms in intervals(results):
        ours, peer, *others = [
            median_run([r[side][str(interval_ms)] for r in results["rounds"]])
            for side in ("ours", "peer", *(side for side, _ in extra))]
        head = f"| {interval_ms} ms | Morvane (Linux, X11) | xdotool | ours / peer |"
        rule = "|---|---:|---:|---:|"
        for _, title in extra:
            head += f" {title} |"
            rule += "---:|"
        lines += [f"#### Interval {interval_ms} ms", "", head, rule]
        for label, key, digits in ROWS:
            a, b = ours.get(key), peer.get(key)
            row = f"| {label} | {fmt(a, digits)} | {fmt(b, digits)} | {ratio(a, b)} |"
            for other in others:
                row += f" {fmt(other.get(key), digits)} |"
            lines.append(row)
        lines.append("")
    return lines


def other_table(results):
    """Start-up, idle CPU and memory, and the binaries' sizes."""
    rounds = results["rounds"]
    s = [t for r in rounds for t in r["startup_s"]]
    idle = median_run([r["idle"] for r in rounds])
    peak = max([r["idle"]["hwm_kb"] for r in rounds] +
               [run["hwm_kb"] for r in rounds for run in r["ours"].values()])
    sz = results["sizes"]
    over = f"median of {len(rounds)} rounds of {idle['wall_s']:.0f} s"
    lines = ["| figure | value | method |", "|---|---:|---|",
             f"| CPU idle (only the 200 ms hotkey poll), % of one core | "
             f"{idle['sched_pct']:.3f} | schedstat run time, {over}; "
             f"/proc stat utime+stime gives {idle['stat_pct']:.3f} |",
             f"| RSS idle, MiB | {idle['rss_kb'] / 1024:.1f} | VmRSS, median of the rounds |",
             f"| peak RSS over the whole bench, MiB | {peak / 1024:.1f} | "
             "largest VmHWM of any run |",
             f"| start-up to window mapped, ms (median of {len(s)}) | "
             f"{1000 * statistics.median(s):.0f} | process spawn → MapNotify of Form1 seen by "
             f"the recorder (min {1000 * min(s):.0f}, max {1000 * max(s):.0f}) |",
             f"| `morvane` size, bytes | {sz['morvane']:,} | as built (Release), "
             f"{sz['morvane_stripped']:,} stripped; links Qt 6 dynamically |"]
    if has_wine(results):
        wine_idle = median_run([r["wine_idle"] for r in rounds])
        lines.append(f"| Morvane.exe under Wine: CPU idle, % of one core | "
                     f"{wine_idle['sched_pct']:.3f} | as above, {over} "
                     "(the Windows process only, not wineserver) |")
    if "Morvane.exe" in sz:
        lines.append(f"| `Morvane.exe` size, bytes | {sz['Morvane.exe']:,} | MinSizeRel, "
                     "static, stripped |")
    else:
        lines.append("| `Morvane.exe` size, bytes | pending | not built |")
    return lines


TARGETS = [
    # (text, the figure in one round of one product, number format, unit, limit test); the
    # round's runs are keyed by interval, its idle measurement by "idle".
    ("≥ 990 clicks/s at 1 ms", lambda s: s["1"]["rate"], "{:.1f}", "/s", lambda v: v >= 990),
    ("median period within 0.1 ms of 10 ms", lambda s: s["10"]["median_error"], "{:+z.3f}",
     " ms", lambda v: abs(v) <= 0.1),
    ("p99 period within 1 ms of 10 ms", lambda s: s["10"]["p99_abs_error"], "{:.3f}", " ms",
     lambda v: v <= 1),
    ("drift ≤ one interval over 1000 clicks at 10 ms", lambda s: s["10"]["drift"], "{:+z.2f}",
     " ms", lambda v: abs(v) <= 10),
    # A --quick run has fewer than 1000 clicks at 1 ms: its whole drift stands in.
    ("drift ≤ one interval over 1000 clicks at 1 ms",
     lambda s: s["1"].get("drift_1000", s["1"]["drift"]), "{:+z.2f}", " ms",
     lambda v: abs(v) <= 1),
    ("idle CPU ≤ 0.1 % of a core", lambda s: s["idle"]["sched_pct"], "{:.3f}", " %",
     lambda v: v <= 0.1),
    ("CPU while clicking at 10 ms ≤ 2 % of a core", lambda s: s["10"]["cpu_pct"], "{:.2f}",
     " %", lambda v: v <= 2),
]


def targets_table(results):
    """Each target's median over the rounds, the range beside it, and whether it is met."""
    sides = [("Morvane (Linux)", "ours", "idle")]
    if has_wine(results):
        sides.append(("Morvane.exe (Wine)", "wine", "wine_idle"))
    lines = ["| target |" + "".join(f" {name} | |" for name, _, _ in sides),
             "|---|" + "---:|---|" * len(sides)]
    for text, figure, number, unit, met in TARGETS:
        row = f"| {text} |"
        for _, side, idle in sides:
            values = [figure({**r[side], "idle": r[idle]}) for r in results["rounds"]]
            middle = statistics.median(values)
            shown = number.format(middle) + unit
            if len(values) > 1:
                shown += f" ({number.format(min(values))}–{number.format(max(values))})"
            row += f" {shown} | {'met' if met(middle) else '**missed**'} |"
        lines.append(row)
    if has_wayland(results):
        rates = [r["wayland"]["1"]["rate"] for r in results["rounds"]]
        middle = statistics.median(rates)
        lines += ["", "| target on Wayland (headless KWin, through the portals) | | |",
                  "|---|---:|---|",
                  f"| ≥ 950 clicks/s at 1 ms | {middle:.1f}/s ({min(rates):.1f}–{max(rates):.1f}) "
                  f"| {'met' if middle >= 950 else '**missed**'} |"]
    return lines


def markdown(results):
    """The lines of the doc's block: machine, targets, timing tables, the other figures."""
    m = results["machine"]
    n = len(results["rounds"])
    lines = [
        f"Measured {m['date']} at commit {m.get('commit', 'unknown')} on {m['nproc']} × "
        f"{m['cpu']}, Linux {m['kernel']}, "
        f"Xvfb with no window manager, peer `{m['xdotool']}`, {m.get('wine') or 'no Wine'}"
        + (" (--quick run: a tenth of the clicks)" if results.get("quick") else "")
        + f"; {n} round{'s' if n > 1 else ''}.",
        "", "### Targets", "",
        f"Each figure is the median over the {n} rounds and is judged on that; the range over "
        "the rounds is in brackets.", "", *targets_table(results), "",
        "### Click timing", "",
        "Peer: `xdotool click --repeat N --delay D 1` with the pointer on the recorder. "
        "CPU while clicking: Morvane over the clicks recorded, xdotool over its whole life. "
        f"Each row is the median of that row over the {n} rounds, so the two parts of the "
        "drift need not add up to the drift.",
        "", *timing_table(results),
        "### Start-up, idle, size", "", *other_table(results), "",
        "![period distributions](bench-periods.png)", ""]
    if not has_wine(results):
        lines += [f"Morvane.exe under Wine: {results['wine_note']}", ""]
    return lines


def write_doc(lines):
    """The lines between the doc's markers, the rest of the doc as it is."""
    block = "\n".join([BEGIN, *lines, END])
    if DOC.exists():
        text = DOC.read_text(encoding="utf-8")
        if BEGIN in text and END in text:
            head, rest = text.split(BEGIN, 1)
            text = head + block + rest.split(END, 1)[1]
        else:
            text = text.rstrip("\n") + "\n\n" + block + "\n"
    else:
        text = "# Benchmarks\n\nRerun: `python3 bench/run.py`\n\n" + block + "\n"
    DOC.write_text(text, encoding="utf-8")


def plot(results):
    """Histograms of period − setting per interval, every round's periods pooled."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    rounds = results["rounds"]
    products = [("Morvane", "ours", "tab:blue"), ("xdotool", "peer", "tab:orange")]
    if has_wine(results):
        products.append(("Morvane.exe (Wine)", "wine", "tab:green"))
    if has_wayland(results):
        products.append(("Morvane (Wayland, KWin)", "wayland", "tab:red"))
    shown = intervals(results)
    fig, axes = plt.subplots(1, len(shown), figsize=(4 * len(shown), 3.6))
    for ax, interval_ms in zip(axes, shown):
        key = str(interval_ms)
        series = [(name, [p - interval_ms for r in rounds for p in r[side][key]["periods"]],
                   color) for name, side, color in products]
        every = [e for _, errors, _ in series for e in errors]
        low, high = min(0.0, percentile(every, 0.5)), max(0.0, percentile(every, 99.5))
        pad = max(0.02, (high - low) * 0.05)
        count = 80 if len(every) > 500 else 40
        bins = [low - pad + i * (high - low + 2 * pad) / count for i in range(count + 1)]
        for name, errors, color in series:
            ax.hist(errors, bins=bins, histtype="step", color=color, label=name, linewidth=1.4)
        ax.axvline(0, color="grey", linestyle=":", linewidth=1)
        if len(series[0][1]) >= 500:
            ax.set_yscale("log")  # the tails are a handful of clicks among thousands
        ax.set_title(f"setting {interval_ms} ms, {len(rounds)} × "
                     f"{rounds[0]['ours'][key]['clicks']} clicks each")
        ax.set_xlabel("period − setting, ms (recorder clock)")
    axes[0].set_ylabel("clicks")
    axes[0].legend(fontsize=8)
    fig.suptitle("Period between recorded clicks minus the setting, all rounds pooled; "
                 "0.5–99.5 % range of all shown", fontsize=10)
    fig.tight_layout()
    fig.savefig(PLOT, dpi=110)
