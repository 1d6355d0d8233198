"""The configuration's JSON Schema: a valid schema, the example configurations meet it, and
configurations the plugin reads differently from what they seem to say do not.

    python3 config_schema_test.py <schema> <example.json|example.jsonc>...
"""
import json
import sys

import jsonschema


def load(path):
    with open(path, encoding="utf-8") as file:
        lines = file.read().splitlines()
    # The commented example holds remarks only on lines that begin with "//", as it tells.
    return json.loads("\n".join(l for l in lines if not l.startswith("//")))


ID = "0002d4c2a1b34e7f9c0e5a1b2c3d4e5f"
REFUSED = {
    "a misspelt key": {"whitelist": ["give"]},
    "a white-list of one text": {"white-list": "give"},
    "a star in the white-list": {"white-list": ["*"]},
    "an empty white-list entry": {"white-list": [""]},
    "an EOS id in upper case": {"admins": [{"eosid": [ID.upper()], "allowed-commands": ["fly"]}]},
    "a grant that is not text": {"admins": [{"eosid": [ID], "allowed-commands": [3]}]},
    "a wildcard lookalike": {"admins": [{"eosid": [ID], "allowed-commands": ["*fly"]}]},
    "an entry without grants": {"admins": [{"eosid": [ID]}]},
    "an entry for nobody": {"admins": [{"allowed-commands": ["fly"]}]},
    "groups of one text": {"admins": [{"groups": "Moderators", "allowed-commands": ["fly"]}]},
    "an empty group name": {"admins": [{"groups": [""], "allowed-commands": ["fly"]}]},
    "a webhook that is no URL": {"discordwh": "discord.com/api/webhooks/1/t"},
    "a sender Discord refuses": {"messages": {"sender": "My Discord log"}},
    "a sender too long": {"messages": {"sender": "n" * 81}},
    "a pace out of range": {"discord": {"posts-per-minute": 0}},
    "a channel filter the plugin does not know": {"discord": {"notify": "none"}},
    "an RCON audit as text": {"rcon": {"audit": "yes"}},
    "a blocked message that is not text": {"messages": {"blocked": 5}},
    "a misspelt RCON key": {"rcon": {"audti": False}},
    "a journal kept for negative days": {"journal": {"keep-days": -1}},
    "a journal folder that is empty": {"journal": {"folder": ""}},
    "a misspelt journal key": {"journal": {"keepdays": 30}},
    "plugin commands as a list": {"plugin-commands": ["giveitem"]},
    "a plugin command that is not text": {"plugin-commands": {"allowed-commands": [1]}},
    "a plugin command with its arguments": {"plugin-commands": {"allowed-commands": ["give 1"]}},
}


def main():
    schema = load(sys.argv[1])
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    validator = validator_class(schema)
    failures = []
    for path in sys.argv[2:]:
        for error in validator.iter_errors(load(path)):
            failures.append(f"{path}: {error.json_path}: {error.message}")
    for name, config in REFUSED.items():
        if validator.is_valid(config):
            failures.append(f"the schema accepts {name}: {json.dumps(config)}")
    accepted = {"white-list": ["give"], "_note": "remarks pass", "discordwh": ""}
    if not validator.is_valid(accepted):
        failures.append(f"the schema refuses {json.dumps(accepted)}")
    print("\n".join(failures) or f"{len(sys.argv) - 2} examples meet the schema, "
          f"{len(REFUSED)} faulty configurations do not")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
