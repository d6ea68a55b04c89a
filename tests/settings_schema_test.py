"""entmlst's settings schema against a real JSON Schema validator: the schema
is valid draft 2020-12, real exports pass it, and on edited documents the
validator and `entmlst import` agree on what is acceptable.

    /usr/bin/python3 settings_schema_test.py ENTMLST
"""
import copy
import json
import os
import subprocess
import sys
import tempfile

from jsonschema import Draft202012Validator

TOOL = sys.argv[1]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


with tempfile.TemporaryDirectory() as work:
    device = os.path.join(work, "device.db")
    path = os.path.join(work, "doc.json")

    def run(*args):
        return subprocess.run([TOOL, "--device", device, *args], capture_output=True, text=True, timeout=60)

    def imports(doc):
        """True when a dry-run import takes the document, False when it refuses it."""
        with open(path, "w") as f:
            json.dump(doc, f)
        r = run("import", "--dry-run", path)
        if r.returncode not in (0, 2):
            failures.append(f"import exited {r.returncode}: {r.stderr}")
        return r.returncode == 0

    schema = json.loads(run("schema").stdout)
    Draft202012Validator.check_schema(schema)
    validator = Draft202012Validator(schema)

    def valid(doc):
        return validator.is_valid(doc)

    # Real exports: factory settings, then with values that need hex.
    run("set", "smtp", "password=s3cret", "signature=hex:01ff", "port=65535")
    run("set", "smtp-event", "--recipient", "3", "name=" + "n" * 255)
    run("job", "create", "5", "--parent", "9", "ip.address=to@x", "fax.path=/img")
    run("job", "link", "5", "0x1234", "6")
    exports = [json.loads(run("export", *flags).stdout) for flags in ([], ["--show-secrets"])]
    for doc in exports:
        errors = [e.message for e in validator.iter_errors(doc)]
        check(not errors, f"an export fails the schema: {errors[:3]}")
    full = exports[1]

    def edited(change):
        doc = copy.deepcopy(full)
        change(doc)
        return doc

    def partial(groups):
        return {"format": "corvellib-settings", "version": 1, **groups}

    def put(group, field, value):
        rec = {field: value}
        return partial({group: [{}, rec, {}] if isinstance(full[group], list) else rec})

    # What the device's records allow, stated here on their own.
    refused = {
        "wrong type": put("smtp", "port", "25"),
        "unknown field": put("smtp", "nosuch", 1),
        "text too long": put("smtp", "server", "a" * 64),
        "hex too long": put("smtp", "server", "hex:" + "00" * 65),
        "bad hex": put("smtp", "user", "hex:zz"),
        "holds a NUL": put("smtp", "from", "a\u0000b"),
        "number too big": put("smtp", "port", 65536),
        "negative": put("pop3", "auth", -1),
        "fraction": put("pop3", "auth", 0.5),
        "two recipients": partial({"smtp-event": [{}, {}]}),
        "recipient not an object": partial({"pop3user": [{}, [], {}]}),
        "unknown group": partial({"nosuch": {}}),
        "read-only group outside read-only": partial({"counters": {}}),
        "read-only value of the wrong type": partial({"read-only": {"counters": {"count1": "x"}}}),
        "wrong format": edited(lambda d: d.update(format="other")),
        "newer version": edited(lambda d: d.update(version=2)),
        "no format": edited(lambda d: d.pop("format")),
        "unknown job value": partial({"jobs": [{"id": 5, "values": {"ip.adress": 1}}]}),
        "unknown link kind": partial({"jobs": [{"id": 5, "links": [{"kind": "faks", "id": 6}]}]}),
        "job without an ID": partial({"jobs": [{"values": {}}]}),
    }
    taken = {
        "an export": full,
        "a partial document": put("smtp", "port", 587),
        "just the header": partial({}),
        "longest text": put("smtp", "server", "a" * 63),
        "UTF-8 text": put("smtp", "from", "caf\u00e9 \u0001"),
        "full-width hex": put("smtp", "server", "hex:" + "41" * 64),
        "masked password": put("pop3user", "password", "********"),
        "whole number written as a fraction": put("smtp", "port", 25.0),
        "largest 32-bit value": put("event-last-send", "time", 4294967295),
        "edited read-only values": edited(lambda d: d["read-only"]["counters"].update(count1=7)),
        "jobs as export --jobs writes them": json.loads(run("export", "--jobs").stdout),
        "jobs with links": partial(
            {"jobs": [{"id": 5, "values": {"ip.kind": 3, "0x00317800": "x"}, "links": [{"kind": "fax-image", "id": 7}]}]}
        ),
    }
    for name, doc in refused.items():
        check(not valid(doc), f"the schema takes: {name}")
        check(not imports(doc), f"import takes: {name}")
    for name, doc in taken.items():
        check(valid(doc), f"the schema refuses: {name}")
        check(imports(doc), f"import refuses: {name}")

    # Every field at the edges of what its schema allows: schema and import
    # agree on each side of the edge.
    for group, value in full.items():
        if group in ("format", "version", "read-only"):
            continue
        record = value[0] if isinstance(value, list) else value
        for field, shown in record.items():
            rules = schema["properties"][group]
            rules = rules["items"] if "items" in rules else rules
            rules = rules["properties"][field]
            if isinstance(shown, int):
                top = rules["maximum"]
                candidates = [top, top + 1, 0, -1]
            else:
                text = next(r for r in rules["anyOf"] if "maxLength" in r)["maxLength"]
                candidates = ["x" * text, "x" * (text + 1), "hex:" + "ab" * (text + 1), "hex:" + "ab" * (text + 2)]
            for candidate in candidates:
                doc = put(group, field, candidate)
                check(valid(doc) == imports(doc), f"schema and import differ on {group}/{field} = {candidate!r:.40}")

for f in failures:
    print("FAIL:", f)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
