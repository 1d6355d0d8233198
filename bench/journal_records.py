#!/usr/bin/env python3
"""Writes a journal of COUNT records as the plugin writes them, for the journal tools' benchmark:
SERVERS server folders under FOLDER, one file per UTC day, each server's chain intact (prev the
SHA-256 of the line before). About one command in ten is blocked, one in twenty comes over RCON,
and a start record opens each day.

    journal_records.py FOLDER COUNT [SERVERS]
"""
import hashlib
import json
import os
import random
import sys


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    servers = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    rng = random.Random(7)
    players = [(f"Player {i}", f"0002{i:028x}") for i in range(200)]
    words = ["give 1", "GiveItemNum 12 1 0 0", "fly", "ghost", "suicide", "say hello there",
             "tp 10 20 30", "EnableCheats ***", "DestroyWildDinos", "listplayers"]
    per_day = 50_000
    for s in range(servers):
        label = f"Map{s}"
        os.makedirs(os.path.join(folder, label), exist_ok=True)
        prev = "0" * 64
        seq = 0
        total = count // servers + (1 if s < count % servers else 0)
        out = None
        day = None
        for n in range(total):
            d = n // per_day
            if d != day:
                day = d
                if out:
                    out.close()
                date = f"2026-{1 + d // 28:02d}-{1 + d % 28:02d}"
                out = open(os.path.join(folder, label, f"{date}.jsonl"), "w", encoding="utf-8",
                           newline="\n")
            seconds = (n % per_day) * 86400 // per_day
            time = f"{date}T{seconds // 3600:02d}:{seconds // 60 % 60:02d}:{seconds % 60:02d}.{n % 1000:03d}Z"
            seq += 1
            record = {"seq": seq, "time": time, "server": label}
            roll = rng.random()
            if n % per_day == 0:
                record["event"] = "start"
            elif roll < 0.05:
                record.update(source="rcon", client=f"#{rng.randrange(9)} (127.0.0.1:{rng.randrange(40000, 60000)})",
                              command=rng.choice(words), decision="audited")
            else:
                name, eos = rng.choice(players)
                blocked = roll < 0.15
                record.update(source="console", player=name, eosid=eos, admin=rng.random() < 0.1,
                              position=[round(rng.uniform(-1e5, 1e5), 3), round(rng.uniform(-1e5, 1e5), 3),
                                        round(rng.uniform(0, 5e4), 3)],
                              command=rng.choice(words), decision="blocked" if blocked else "allowed",
                              rule=None if blocked else "/white-list/0")
            record["prev"] = prev
            line = json.dumps(record, ensure_ascii=False, separators=(",", ":"))
            prev = hashlib.sha256(line.encode()).hexdigest()
            out.write(line + "\n")
        if out:
            out.close()


if __name__ == "__main__":
    main()
