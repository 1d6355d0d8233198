"""The journal of the example play, played twice on the stand-in server (a restart between):
every record meets docs/journal.schema.json, the chain holds across both runs, and every audit
line of a command has exactly one record, in order. The operator's program finds the journal
intact, and names the record once one is edited.

    python3 journal_play_test.py [runner] <quillmark-sim> <quillmark> <source folder>
"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

import jsonschema

AUDITED = ("] Player ", "] Blocked player ", "] RCON client ", "] Plugin ran ", "] Blocked a plugin ")


def verify(tool, folder):
    run = subprocess.run([*tool, "journal", "verify", folder], capture_output=True, text=True,
                         timeout=120, check=False)
    return run.returncode, run.stdout + run.stderr


def verify_finds(tool, labelled):
    """What `journal verify` says of the journal as written, then with its third record edited."""
    failures = []
    code, said = verify(tool, labelled)
    if code != 0 or "intact: " not in said or " records of 1 servers" not in said:
        failures.append(f"verify of the journal as written exited {code}: {said}")
    day = sorted(name for name in os.listdir(labelled) if name.endswith(".jsonl"))[0]
    path = os.path.join(labelled, day)
    with open(path, "rb") as file:
        records = file.read().split(b"\n")
    records[2] = records[2].replace(b'"seq":3', b'"seq":3,"note":"x"', 1)
    with open(path, "wb") as file:
        file.write(b"\n".join(records))
    code, said = verify(tool, labelled)
    if code != 1 or day not in said or "edited" not in said:
        failures.append(f"verify of an edited record exited {code}: {said}")
    return failures


def main():
    *sim, tool, source = sys.argv[1:]  # the programs, the server's after their runner (wine)
    tool = [*sim[:-1], tool]
    with open(os.path.join(source, "docs", "journal.schema.json"), encoding="utf-8") as file:
        schema = json.load(file)
    validator = jsonschema.validators.validator_for(schema)(schema)
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        server = os.path.join(folder, "server")
        shutil.copytree(os.path.join(source, "examples", "server"), server,
                        ignore=shutil.ignore_patterns("journal"))
        config_path = os.path.join(server, "ArkApi", "Plugins", "quillmark", "config.json")
        with open(config_path, encoding="utf-8") as file:
            config = json.load(file)
        config["discordwh"] = ""  # nothing to post to here
        with open(config_path, "w", encoding="utf-8") as file:
            json.dump(config, file)
        audited = []
        for _ in range(2):
            run = subprocess.run([*sim, "--server-dir", server, "--script",
                                  os.path.join(source, "examples", "play.txt"), "-serverkey=Demo"],
                                 capture_output=True, text=True, timeout=120, check=False)
            if run.returncode != 0:
                failures.append(f"the stand-in server exited {run.returncode}: {run.stderr}")
            audited += [line for line in run.stdout.splitlines()
                        if "[ASA:Quillmark][info]" in line and any(a in line for a in AUDITED)]
        labelled = os.path.join(server, "ArkApi", "Plugins", "quillmark", "journal", "Demo")
        lines = []
        for name in sorted(os.listdir(labelled)):
            if name.endswith(".jsonl"):
                with open(os.path.join(labelled, name), "rb") as file:
                    lines += file.read().decode("utf-8").split("\n")[:-1]
        failures += verify_finds(tool, labelled)
    prev, seq, commands = "0" * 64, 0, []
    for number, line in enumerate(lines, 1):
        record = json.loads(line)
        failures += [f"line {number}: {e.json_path}: {e.message}" for e in validator.iter_errors(record)]
        if record["prev"] != prev or record["seq"] != seq + 1:
            failures.append(f"line {number}: the chain breaks")
        if list(record)[-1] != "prev" or json.dumps(record, ensure_ascii=False,
                                                     separators=(",", ":")) != line:
            failures.append(f"line {number}: not compact, or prev not last: {line}")
        prev, seq = hashlib.sha256(line.encode("utf-8")).hexdigest(), record["seq"]
        if "source" in record:
            commands.append(record)
    events = [record["event"] for record in map(json.loads, lines) if "event" in record]
    if events != ["start", "reload", "stop"] * 2:
        failures.append(f"the events are {events}")
    if len(commands) != len(audited):
        failures.append(f"{len(commands)} command records for {len(audited)} audit lines")
    for record, line in zip(commands, audited):
        shown = record["command"].split(" ")[0]
        if shown not in line:
            failures.append(f"record {record['seq']} ({record['command']}) is not {line}")
    print("\n".join(failures) or f"{len(lines)} records, {len(commands)} commands: schema, chain "
          "and audit lines agree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
