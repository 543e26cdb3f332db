#!/usr/bin/python3
"""Validates quorvex-check --json documents against the output's schema.

usage: validate_json.py SCHEMA [FILE...]   (no FILE, or -: standard input)

Each FILE holds one JSON document. A document must parse strictly (no
duplicate keys, no NaN or Infinity) and hold to the schema. Exits 0 when
every document does, 1 otherwise, with the reasons on standard error.
"""
import json
import sys

from jsonschema import Draft202012Validator


def no_duplicates(pairs):
    seen = {}
    for key, value in pairs:
        if key in seen:
            raise ValueError(f"duplicate key {key!r}")
        seen[key] = value
    return seen


def no_constants(name):
    raise ValueError(f"{name} is not JSON")


def main(argv):
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    Draft202012Validator.check_schema(schema)
    validator = Draft202012Validator(schema)
    ok = True
    for name in argv[2:] or ["-"]:
        if name == "-":
            text = sys.stdin.buffer.read()
        else:
            with open(name, "rb") as f:
                text = f.read()
        try:
            doc = json.loads(text.decode("utf-8"), object_pairs_hook=no_duplicates,
                             parse_constant=no_constants)
        except ValueError as e:
            print(f"{name}: not strict JSON: {e}", file=sys.stderr)
            ok = False
            continue
        for error in sorted(validator.iter_errors(doc), key=lambda e: list(e.absolute_path)):
            where = "/".join(str(p) for p in error.absolute_path)
            print(f"{name}: at /{where}: {error.message}", file=sys.stderr)
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
