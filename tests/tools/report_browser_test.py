#!/usr/bin/env python3
"""The journal report's page in a real browser: writes a journal (two servers, three days, known
counts), has the operator's program write the page, opens it in headless Chromium and checks
what the browser shows: each table's rows and total row, and the chart's bars (one per day and
kind, their counts and heights) and day labels.

    report_browser_test.py QUILLMARK CHROMIUM [SCREENSHOT.png]
"""
import hashlib
import html.parser
import json
import os
import subprocess
import sys
import tempfile


def write_journal(root):
    # (server, time, fields); seq, server and prev are added as the plugin writes them.
    records = [
        ("Demo", "2026-12-07T10:00:00.000Z", {"event": "start"}),
        ("Demo", "2026-12-07T10:01:00.000Z", dict(source="console", player="Mia", eosid="E1", admin=False,
                                                  command="give 1", decision="allowed", rule="/white-list/0")),
        ("Demo", "2026-12-07T10:02:00.000Z", dict(source="console", player="Mia", eosid="E1", admin=False,
                                                  command="fly", decision="blocked", rule=None)),
        ("Demo", "2026-12-08T10:00:00.000Z", dict(source="rcon", client="#1 (127.0.0.1:1)",
                                                  command="ListPlayers", decision="audited")),
        ("Demo", "2026-12-09T10:00:00.000Z", dict(source="console", player="<b>Rex</b>", eosid="E2",
                                                  admin=True, command="ghost", decision="blocked", rule=None)),
        ("Island", "2026-12-07T11:00:00.000Z", dict(source="console", player="Ann", eosid="E3", admin=False,
                                                    command="give 2", decision="allowed", rule="/white-list/0")),
        ("Island", "2026-12-09T11:00:00.000Z", dict(source="console", player="Ann", eosid="E3", admin=False,
                                                    command="give 3", decision="allowed", rule="/white-list/0")),
        ("Island", "2026-12-09T11:01:00.000Z", dict(source="rcon", client="#2 (127.0.0.1:2)",
                                                    command="SaveWorld", decision="audited")),
    ]
    chains = {}
    for server, time, fields in records:
        seq, prev = chains.get(server, (0, "0" * 64))
        record = {"seq": seq + 1, "time": time, "server": server, **fields, "prev": prev}
        line = json.dumps(record, ensure_ascii=False, separators=(",", ":"))
        chains[server] = (seq + 1, hashlib.sha256(line.encode()).hexdigest())
        os.makedirs(os.path.join(root, server), exist_ok=True)
        with open(os.path.join(root, server, time[:10] + ".jsonl"), "a", encoding="utf-8", newline="\n") as f:
            f.write(line + "\n")


class Page(html.parser.HTMLParser):
    """The tables' cells by table id and part, and the chart's bars and labels."""

    def __init__(self):
        super().__init__()
        self.tables = {}
        self.table = None
        self.part = None
        self.row = None
        self.cell = None
        self.bars = []
        self.labels = []
        self.in_label = False

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "table":
            self.table = self.tables.setdefault(a.get("id"), {"thead": [], "tbody": [], "tfoot": []})
        elif tag in ("thead", "tbody", "tfoot") and self.table is not None:
            self.part = tag
        elif tag == "tr" and self.table is not None:
            self.row = []
        elif tag in ("td", "th") and self.row is not None:
            self.cell = ""
        elif tag == "rect" and "bar" in a.get("class", "").split():
            self.bars.append((a["class"].split()[1], int(a["data-count"]), int(a["height"])))
        elif tag == "text" and a.get("class") == "label":
            self.in_label = True
            self.labels.append("")

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self.cell is not None:
            self.row.append(self.cell.strip())
            self.cell = None
        elif tag == "tr" and self.row is not None:
            self.table[self.part].append(self.row)
            self.row = None
        elif tag == "table":
            self.table = None
        elif tag == "text":
            self.in_label = False

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data
        if self.in_label:
            self.labels[-1] += data


def main():
    tool, chromium = sys.argv[1], sys.argv[2]
    screenshot = sys.argv[3] if len(sys.argv) > 3 else None
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    with tempfile.TemporaryDirectory() as work:
        journal = os.path.join(work, "journal")
        write_journal(journal)
        page = os.path.join(work, "report.html")
        subprocess.run([tool, "journal", "report", journal, "--html", page], check=True)
        browser = [chromium, "--headless", "--no-sandbox", "--disable-gpu",
                   "--disable-background-networking", "--disable-component-update", "--disable-sync",
                   "--no-first-run", "--user-data-dir=" + os.path.join(work, "profile")]
        dom = subprocess.run(browser + ["--dump-dom", "file://" + page], check=True,
                             capture_output=True, text=True, timeout=120).stdout
        if screenshot:
            subprocess.run(browser + ["--window-size=900,1400", "--screenshot=" + screenshot,
                                      "file://" + page], capture_output=True, timeout=120)
    shown = Page()
    shown.feed(dom)

    days = shown.tables.get("days", {})
    expect(days.get("tbody") == [["2026-12-07", "2", "1", "0", "3"],
                                 ["2026-12-08", "0", "0", "1", "1"],
                                 ["2026-12-09", "1", "1", "1", "3"]], f"days: {days}")
    total = ["total", "3", "2", "2", "7"]
    expect(days.get("tfoot") == [total], f"days' total: {days.get('tfoot')}")
    players = shown.tables.get("players", {})
    expect(players.get("tbody") == [["<b>Rex</b>", "E2", "0", "1", "0", "1"],
                                    ["Ann", "E3", "2", "0", "0", "2"],
                                    ["Mia", "E1", "1", "1", "0", "2"],
                                    ["RCON", "", "0", "0", "2", "2"]], f"players: {players}")
    expect(players.get("tfoot") == [total], f"players' total: {players.get('tfoot')}")
    commands = shown.tables.get("commands", {})
    expect(len(commands.get("tbody", [])) == 5 and commands.get("tfoot") == [total],
           f"commands: {commands}")

    expect(shown.labels == ["2026-12-07", "2026-12-08", "2026-12-09"], f"labels: {shown.labels}")
    expect(len(shown.bars) == 9, f"bars: {shown.bars}")
    for kind, column in (("allowed", 1), ("blocked", 2), ("rcon", 3)):
        counts = [count for k, count, _ in shown.bars if k == kind]
        expect(counts == [int(row[column]) for row in days.get("tbody", [])], f"{kind} bars: {counts}")
    most = max([count for _, count, _ in shown.bars] + [1])
    expect(all(height == 200 * count // most for _, count, height in shown.bars),
           f"bar heights not in proportion to counts: {shown.bars}")

    for failure in failures:
        print("FAILED:", failure)
    if failures:
        sys.exit(1)
    print("the browser shows the report's tables and chart")


if __name__ == "__main__":
    main()
