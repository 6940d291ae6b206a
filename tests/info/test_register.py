#!/usr/bin/env python3
"""sheetpeek-info --recursive and --csv as a process: the walk over a real tree, and the CSV
register read back by Python's csv module and compared with the JSON of the same files.

Usage: test_register.py SHEETPEEK_INFO DRAWINGS_DIR"""
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile

info, drawings = sys.argv[1], sys.argv[2]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def as_other_user():
    # Root reads any folder; the unreadable one must stay unreadable to the program.
    if os.geteuid() == 0:
        os.setgroups([])
        os.setgid(65534)
        os.setuid(65534)


def run(*args):
    r = subprocess.run([info, *args], capture_output=True, timeout=60, preexec_fn=as_other_user)
    return r.returncode, r.stdout, r.stderr.decode("utf-8", "replace")


root = tempfile.mkdtemp(prefix="sheetpeek-register-")
try:
    os.chmod(root, 0o755)
    plans = os.path.join(root, "plans")
    golden = sorted(n for n in os.listdir(drawings) if n.endswith(".cad"))
    # Names with commas, quotes and line breaks, hidden files and folders, every case of ".cad".
    copies = {
        "A-10.cad": "plan_with_preview.cad",
        "A-2.CAD": "runs.cad",
        ".hidden/.h.Cad": "quoting.cad",
        'odd, "quoted"\nname.cad': "quoting.cad",
        "line\nbreak/x.cad": "failed_frame.cad",
        "deep/er/est/d.cad": "no_version.cad",
        "deep/er.cad/in.cad": "version_21st.cad",
        # Names that would fake a block or steer a terminal if printed raw (\x9b is a C1 character).
        "fake\n\nファイル名: forged.cad": "runs.cad",
        "esc\x1b[2J\x9b\x7f.cad": "runs.cad",
        "notes.txt": "runs.cad",
        "x.cadx": "runs.cad",
    }
    for name in golden:
        copies["golden/" + name] = name
    for name, source in copies.items():
        os.makedirs(os.path.dirname(os.path.join(plans, name)), exist_ok=True)
        shutil.copy(os.path.join(drawings, source), os.path.join(plans, name))
    # Texts a terminal or a spreadsheet would act on.
    hostile = os.path.join(plans, "hostile.cad")
    with open(hostile, "wb") as f:
        f.write(b'Version\t2.1\nNote\t1,,"=HYPERLINK(\\"http://x\\",\\"y\\")","\x1b[31mred\x07"\n'
                b'Note\t2,,"+1","-2"\nNote\t3,,"@SUM(1)","\ttab\x0bvt\n'
                b'Note\t4,,"new\x0cpage","\x1b]0;title\x07"\nFbreak\n')
    copies["hostile.cad"] = None
    os.makedirs(os.path.join(root, "outside"))
    shutil.copy(os.path.join(drawings, "runs.cad"), os.path.join(root, "outside", "o.cad"))
    os.symlink("../outside", os.path.join(plans, "outside"))
    os.symlink(".", os.path.join(plans, "loop"))
    os.symlink("A-10.cad", os.path.join(plans, "link.cad"))
    os.mkfifo(os.path.join(plans, "pipe.cad"))
    locked = os.path.join(plans, "locked")
    os.makedirs(locked)
    shutil.copy(os.path.join(drawings, "runs.cad"), os.path.join(locked, "l.cad"))
    for d, dirs, _ in os.walk(root):
        for x in dirs:
            os.chmod(os.path.join(d, x), 0o755)
    os.chmod(locked, 0)
    single = os.path.join(drawings, "runs.cad")

    found = sorted(
        (os.path.join(plans, n) for n in copies if n.lower().endswith(".cad")),
        key=lambda p: p.encode(),
    )
    found = sorted(found + [os.path.join(plans, "link.cad")], key=lambda p: p.encode())
    expected = [single] + found + [os.path.join(root, "missing.cad")]
    args = [single, plans, os.path.join(root, "missing.cad")]

    # The walk: the same reports as naming the files in that order, and the locked folder told.
    rc, plain_json, _ = run("--json", *expected)
    for form in ([], ["--json"]):
        rc, out, err = run("-r", *form, *args)
        _, plain, _ = run(*form, *expected)
        check(out == plain, f"--recursive {form} differs from the files named one by one")
        check(rc == 1, f"--recursive {form}: exit code {rc}")
        check(f"sheetpeek-info: {locked}: cannot read the folder: Permission denied\n" in err,
              f"no line for the locked folder: {err}")
    reports = [json.loads(line) for line in plain_json.decode().splitlines()]
    check([j["path"] for j in reports] == expected, f"JSON paths {[j['path'] for j in reports]}")
    check(reports[expected.index(hostile)]["items"][1]["text"] == "\x1b[31mred\x07", "JSON changed a text")

    # The text report and the messages: one block per opened file, one line per message, and no
    # control character but the line ends.
    rc, out, err = run("-r", *args)
    text = out.decode()
    opened = sum(j["opened"] for j in reports)
    failed = sum(not j["opened"] or not j["read_ok"] for j in reports)
    check(len(text.split("\n\n")) == opened and text.count("\nファイル名: ") == opened - 1,
          f"{len(text.split(chr(10) * 2))} text blocks for {opened} opened files")
    check(not any(c < " " and c != "\n" or "\x7f" <= c <= "\x9f" for c in text + err),
          "a control character in the text report or a message")
    check("ファイル名: esc\\x1b[2J\\x9b\\x7f.cad\n" in text and "=HYPERLINK(\\\"http://x\\\",\\\"y\\\"): \\x1b[31mred\\x07\n" in text,
          "escapes in the text report")
    lines = err.splitlines()
    check(len(lines) == failed + 1 and all(l.startswith("sheetpeek-info: ") for l in lines),
          f"{len(lines)} message lines for {failed} failed files and a locked folder: {err}")

    # The register: BOM, CRLF, header row, and the JSON values under their columns.
    rc, out, err = run("--recursive", "--csv", *args)
    check(rc == 1, f"--csv exit code {rc}")
    check(out.startswith(b"\xef\xbb\xbf"), "no byte-order mark")
    check(out.count(b"\r\n") == len(expected) + 1 and out.endswith(b"\r\n"), "records not ended by CRLF")
    rows = list(csv.reader(io.StringIO(out.decode("utf-8-sig"), newline=""), strict=True))
    columns = ["path", "opened", "error", "read_ok", "folder", "file_name", "create_date", "update_date",
               "element_count", "size", "scale", "file_kind", "preview_width", "preview_height"]
    for i in range(1, 21):
        columns += [f"label_{i}", f"text_{i}"]
    check(rows[0] == columns, f"header row {rows[0]}")
    check(len(rows) == len(expected) + 1, f"{len(rows) - 1} rows for {len(expected)} files")
    texts = ["path", "error", "folder", "file_name", "create_date", "update_date", "element_count", "size",
             "scale", "file_kind"]
    for row, line in zip(rows[1:], plain_json.decode().splitlines()):
        j = json.loads(line)
        want = {c: "" for c in columns}
        want.update({k: j[k] for k in texts if k in j})
        for k in ("opened", "read_ok"):
            if k in j:
                want[k] = "true" if j[k] else "false"
        if j.get("preview"):
            want["preview_width"] = str(j["preview"]["width"])
            want["preview_height"] = str(j["preview"]["height"])
        for i, item in enumerate(j.get("items", [])):
            want[f"label_{i + 1}"], want[f"text_{i + 1}"] = item["label"], item["text"]
        # Cells a spreadsheet would take for formulas start with an apostrophe.
        want = {c: "'" + v if v[:1] in ("=", "+", "-", "@", "\t", "\r") else v for c, v in want.items()}
        check(dict(zip(columns, row)) == want, f"row of {j['path']!r}:\n{row}\nwant {want}")
    # The data does carry every character that needs quoting.
    odd = [dict(zip(columns, r)) for r in rows if r[5].startswith("odd")]
    check(len(odd) == 1 and "\n" in odd[0]["path"] and odd[0]["label_4"] == "a,b" and '"' in odd[0]["text_4"],
          f"the odd name's row: {odd}")

    # Without --recursive a folder is a file that did not open.
    rc, out, _ = run("--csv", plans)
    rows = list(csv.reader(io.StringIO(out.decode("utf-8-sig"), newline="")))
    check(rc == 1 and len(rows) == 2 and rows[1][:3] == [plans, "false", "Is a directory"],
          f"a folder without --recursive: {rc} {rows[1:]}")
finally:
    os.chmod(os.path.join(root, "plans", "locked"), 0o755)
    shutil.rmtree(root)

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
