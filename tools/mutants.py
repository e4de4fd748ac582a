"""Reads tools/mutants.txt and applies one fault to a scratch tree.

The list holds one fault per block:

    == <id>  <what the fault breaks>
    <file, relative to the tree>
    - <text as it stands in the file>
    + <text put in its place (empty: the text is deleted)>

The text must occur exactly once in the file. Lines starting with # are
comments.
"""
import sys


def parse(path):
    faults, current = [], None
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if line.startswith("#") or not line.strip():
            continue
        if line.startswith("== "):
            ident, _, what = line[3:].strip().partition(" ")
            current = {"id": ident, "what": what.strip(), "file": None, "from": None, "to": None}
            faults.append(current)
        elif current is None:
            sys.exit(f"mutants: text before the first fault: {line}")
        elif line.startswith("- "):
            current["from"] = line[2:]
        elif line.startswith("+"):
            current["to"] = line[2:] if line.startswith("+ ") else ""
        elif current["file"] is None:
            current["file"] = line.strip()
        else:
            sys.exit(f"mutants: unexpected line in {current['id']}: {line}")
    return faults


def chosen(faults, ids):
    if not ids:
        return faults
    by_id = {f["id"]: f for f in faults}
    missing = [i for i in ids if i not in by_id]
    if missing:
        sys.exit(f"mutants: no such fault: {' '.join(missing)}")
    return [by_id[i] for i in ids]


def main():
    command, path = sys.argv[1], sys.argv[2]
    faults = parse(path)
    if command == "ids":
        print(" ".join(f["id"] for f in chosen(faults, sys.argv[3:])))
    elif command == "describe":
        print(chosen(faults, [sys.argv[3]])[0]["what"])
    elif command == "check":
        tree, problems, seen = sys.argv[3], [], set()
        for f in chosen(faults, sys.argv[4:]):
            if f["id"] in seen:
                problems.append(f"{f['id']}: listed twice")
            seen.add(f["id"])
            if None in (f["file"], f["from"], f["to"]):
                problems.append(f"{f['id']}: needs a file, a - line and a + line")
                continue
            try:
                count = open(f"{tree}/{f['file']}", encoding="utf-8").read().count(f["from"])
            except OSError as error:
                problems.append(f"{f['id']}: {error}")
                continue
            if count != 1:
                problems.append(f"{f['id']}: text found {count} times in {f['file']}")
        for p in problems:
            print(f"mutants: {p}")
        sys.exit(1 if problems else 0)
    elif command == "apply":
        tree, f = sys.argv[3], chosen(faults, [sys.argv[4]])[0]
        name = f"{tree}/{f['file']}"
        text = open(name, encoding="utf-8").read()
        open(name, "w", encoding="utf-8").write(text.replace(f["from"], f["to"], 1))
        print(f["file"])
    else:
        sys.exit(f"mutants: unknown command {command}")


main()
