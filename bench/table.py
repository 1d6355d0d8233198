"""Prints the benchmark table from Google Benchmark's JSON: one row per case, with the median over
the repetitions of each figure, how far the repetitions' figures lie apart (the slowest run's less
the fastest's, against the median), and whether the case meets its budget."""
import json
import statistics
import sys

# Case name (without /manual_time) -> (what it is, budget).
ROWS = [
    ("BM_Floor", "floor: read EOS id and name, write one line", None),
    ("BM_Granted/10", "granted command, 10 admin entries", "≤ 3 × floor"),
    ("BM_WhiteListed/10", "white-listed command, 10 admin entries", "≤ 3 × floor"),
    ("BM_Blocked/10", "blocked command, 10 admin entries", "≤ 3 × floor"),
    ("BM_Granted/100000", "granted, 100,000 admin entries", "≤ 1.5 × 10 entries"),
    ("BM_WhiteListed/100000", "white-listed, 100,000 admin entries", "≤ 1.5 × 10 entries"),
    ("BM_Blocked/100000", "blocked, 100,000 admin entries", "≤ 1.5 × 10 entries"),
    ("BM_GrantedLargeWhiteList/10", "granted, 10 white-list entries", "≤ 3 × floor"),
    ("BM_GrantedLargeWhiteList/10000", "granted, 10,000 white-list entries", "≤ 1.5 × 10 entries"),
    ("BM_WhiteListedLargeWhiteList/10", "white-listed, 10 white-list entries", "≤ 3 × floor"),
    ("BM_WhiteListedLargeWhiteList/10000", "white-listed, 10,000 white-list entries",
     "≤ 1.5 × 10 entries"),
    ("BM_BlockedHungWebhook/iterations:100000", "blocked, webhook hung (hand-over), 100,000 commands",
     "≤ 3 × floor; p99 < 6 × floor"),
    ("BM_GrantedHungWebhook/iterations:100000", "granted, webhook hung (hand-over), 100,000 commands",
     "≤ 3 × floor; p99 < 6 × floor"),
    ("BM_Rcon/10", "RCON command audited, 10 admin entries", "≤ 3 × floor"),
    ("BM_Rcon/100000", "RCON command audited, 100,000 admin entries", "≤ 1.5 × 10 entries"),
    ("BM_RconHungWebhook/iterations:100000",
     "RCON command audited, webhook hung (hand-over), 100,000 commands", "≤ 3 × floor; p99 < 6 × floor"),
    ("BM_JournalFloor", "journal floor: read EOS id and name, format the record, one write", None),
    ("BM_GrantedJournal", "granted command, journal on", "≤ 3 × journal floor"),
    ("BM_BlockedJournal", "blocked command, journal on", "≤ 3 × journal floor"),
    ("BM_RconJournal", "RCON command audited, journal on", "≤ 3 × journal floor"),
    ("BM_BlockedNoGroup", "blocked, player in no group, 100 group entries", "≤ 3 × floor"),
    ("BM_BlockedTold", "blocked command, the player told (messages.blocked)", None),
    ("BM_BlockedIdleWebhook/iterations:2000",
     "blocked, webhook idle: the notification posted at once", None),
    ("BM_BlockedEveryNotificationQueued/iterations:100000",
     "blocked, every notification made and queued, 100,000 commands", None),
    ("BM_GrantedEveryNotificationQueued/iterations:100000",
     "granted, every notification made and queued, 100,000 commands", None),
    ("BM_SimulatedGame/0", "the simulated game's console path, no plugin", None),
    ("BM_SimulatedGame/1", "the simulated game's console path, with the plugin", None),
    ("BM_PositionTextByWidePrintf/0", "position text by wide printf (1500.25)", None),
    ("BM_PositionTextByWidePrintf/1", "position text by wide printf (1e300)", None),
    ("BM_PositionText/0", "position text now (1500.25)", None),
    ("BM_PositionText/1", "position text now (1e300)", None),
]
# A large configuration is compared with its 10-entry case.
BASE = {
    "BM_Granted/100000": "BM_Granted/10",
    "BM_WhiteListed/100000": "BM_WhiteListed/10",
    "BM_Blocked/100000": "BM_Blocked/10",
    "BM_GrantedLargeWhiteList/10000": "BM_GrantedLargeWhiteList/10",
    "BM_WhiteListedLargeWhiteList/10000": "BM_WhiteListedLargeWhiteList/10",
    "BM_Rcon/100000": "BM_Rcon/10",
}
# A case with a budget of its own is compared with the floor measured in the same run (absolute
# times vary threefold between machines; the ratio does not), the journal's cases with theirs.
FLOOR = "BM_Floor"
FLOOR_RATIO, P99_RATIO = 3.0, 6.0
JOURNAL_FLOOR = "BM_JournalFloor"
JOURNAL_RATIO = 3.0


def main():
    with open(sys.argv[1], encoding="utf-8") as file:
        report = json.load(file)
    runs = {}
    for run in report["benchmarks"]:
        if run.get("run_type") != "iteration":
            continue
        name = run["run_name"].replace("/manual_time", "")
        runs.setdefault(name, []).append(run)

    def median(name, key):
        values = [r[key] for r in runs.get(name, []) if key in r]
        return statistics.median(values) if values else None

    def figure(run):  # ns: the median command where timed one by one, else the mean
        return run.get("p50_ns") or run["real_time"]

    def per_command(name):
        return statistics.median(figure(r) for r in runs[name])

    def spread(name):  # how far the runs' figures lie apart, against their median
        values = [figure(r) for r in runs[name]]
        return (max(values) - min(values)) / statistics.median(values)

    context = report["context"]
    print(f"{context['num_cpus']} × {context['mhz_per_cpu']} MHz, {context['library_build_type']}"
          f" benchmark library, {len(next(iter(runs.values())))} runs per case\n")
    print("| case | median | runs apart | p99 | max | FMemory calls | budget | met |")
    print("| --- | ---: | ---: | ---: | ---: | ---: | --- | --- |")
    for name, what, budget in ROWS:
        if name not in runs:
            continue
        value = per_command(name)
        p99 = median(name, "p99_ns")
        top = median(name, "max_ns")
        calls = median(name, "FMemory/cmd")
        # What the case is compared with; no verdict when that was not measured in this run.
        met = ""
        if not budget:
            pass
        elif budget.endswith("journal floor"):
            if JOURNAL_FLOOR in runs:
                ratio = value / per_command(JOURNAL_FLOOR)
                met = f"{'yes' if ratio <= JOURNAL_RATIO else 'NO'} ({ratio:.2f} ×)"
        elif name in BASE:
            if BASE[name] in runs:
                ratio = value / per_command(BASE[name])
                met = f"{'yes' if ratio <= 1.5 else 'NO'} ({ratio:.2f} ×)"
        elif FLOOR in runs:
            floor = per_command(FLOOR)
            ratio = value / floor
            ok = ratio <= FLOOR_RATIO and (p99 is None or "p99" not in budget
                                           or p99 < P99_RATIO * floor)
            met = f"{'yes' if ok else 'NO'} ({ratio:.2f} ×)"
        cell = lambda ns: "" if ns is None else f"{ns / 1000:.2f} µs" if ns >= 1000 else f"{ns:.0f} ns"
        print(f"| {what} | {cell(value)} | {spread(name):.0%} | {cell(p99)} | {cell(top)} | "
              f"{'' if calls is None else f'{calls:g}'} | {budget or ''} | {met} |")


if __name__ == "__main__":
    main()
