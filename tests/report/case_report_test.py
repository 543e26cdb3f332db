#!/usr/bin/python3
"""Tests the console program's case report (--report) as a reader meets it:
parsed by a strict HTML parser, every file's values held against --json,
hostile names and option texts shown as text, the embedded JSON extracted and
hashed, and nothing from elsewhere. With --pdf it also prints the report with
headless Chromium, reads it back with pdftotext and keeps pages as PNGs.

  case_report_test.py --check build/quorvex-check --samples samples --out DIR [--pdf]
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zlib

import html5lib

failures = []


def expect(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def run(args, cwd):
    p = subprocess.run(args, cwd=cwd, capture_output=True)
    return p.returncode, p.stdout, p.stderr


def parse_strict(data):
    parser = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)
    return parser.parse(data)


def text_of(el):
    return "".join(el.itertext())


def shown(value, multiline=False):
    """A text as the report shows it: controls as \\xHH."""
    out = []
    for c in value:
        o = ord(c)
        forbidden = (o < 0x20 and c not in "\t\n") or 0x7F <= o <= 0x9F
        if forbidden or (not multiline and c in "\t\n"):
            out.append("\\x%02x" % o)
        else:
            out.append(c)
    return "".join(out)


def facts_of(section):
    facts = {}
    for table in section.iter("table"):
        if table.get("class") != "facts":
            continue
        for tr in table.iter("tr"):
            th, td = tr.find("th"), tr.find("td")
            if th is not None and td is not None:
                facts[text_of(th)] = text_of(td)
    return facts


def grouped(n):
    return f"{n:,}"


def check_report(report_path, json_text, stderr, label, case_texts):
    data = open(report_path, "rb").read()
    try:
        doc = parse_strict(data)
    except Exception as e:  # html5lib raises ParseError on the first fault
        expect(False, f"{label}: strict HTML parse: {e}")
        return None
    digest = hashlib.sha256(data).hexdigest()
    line = f"quorvex-check: report {report_path}, SHA-256 {digest}\n".encode()
    expect(line in stderr, f"{label}: stderr names the report and its hash: {stderr!r}")

    # Nothing from elsewhere, nothing that runs.
    for el in doc.iter():
        tag = el.tag if isinstance(el.tag, str) else ""
        expect(tag not in ("script", "link", "img", "iframe", "object", "embed", "base", "form"),
               f"{label}: no <{tag}> element")
        for name, value in el.attrib.items():
            expect(name not in ("src", "href", "xlink:href", "srcset", "action", "style")
                   and not name.startswith("on"), f"{label}: attribute {name}={value!r}")
    for style in doc.iter("style"):
        expect("url(" not in style.text and "@import" not in style.text,
               f"{label}: style refers to nothing")
    csp = [m for m in doc.iter("meta") if m.get("http-equiv") == "Content-Security-Policy"]
    expect(len(csp) == 1 and "default-src 'none'" in csp[0].get("content"),
           f"{label}: a Content-Security-Policy forbids everything else")

    # The embedded JSON is --json's, and its hash is shown.
    pre = [p for p in doc.iter("pre") if p.get("id") == "quorvex-results"]
    expect(len(pre) == 1, f"{label}: one results element")
    embedded = text_of(pre[0]) if pre else ""
    # Characters HTML cannot carry (DEL, C1 controls) stand as \u escapes
    # there: the same JSON value; otherwise the same bytes.
    expect(json.loads(embedded) == json.loads(json_text), f"{label}: embedded JSON's value")
    carried = re.sub("[\x7f-\x9f]", lambda m: "\\u%04x" % ord(m.group()), json_text)
    expect(embedded == carried, f"{label}: embedded JSON equals --json")
    shown_hash = [c for c in doc.iter("code") if c.get("id") == "results-sha256"]
    expect(shown_hash and text_of(shown_hash[0]) ==
           hashlib.sha256(embedded.encode()).hexdigest(), f"{label}: embedded JSON's hash shown")

    # Each file's values equal the JSON's.
    results = json.loads(json_text)
    sections = [s for s in doc.iter("section") if (s.get("class") or "").startswith("file ")]
    expect(len(sections) == len(results), f"{label}: one section per file")
    for r, s in zip(results, sections):
        facts = facts_of(s)
        name = r["path"]
        expect(text_of(s.find("h3")) == shown(r["path"]), f"{label}: heading of {name!r}")
        expect(facts.get("Path") == shown(r["path"]), f"{label}: path of {name!r}")
        if r.get("manifest"):
            expect(facts.get("Manifest", "").startswith(r["manifest"]["state"]),
                   f"{label}: manifest state of {name!r}")
        if r["status"] == "missing":
            continue
        expect(facts.get("Size") == grouped(r["size"]) + " bytes", f"{label}: size of {name!r}")
        if r["sha256"] is not None:
            expect(facts.get("SHA-256") == r["sha256"], f"{label}: SHA-256 of {name!r}")
        if r["video_format"] is not None:
            expect(facts.get("Video format") == r["video_format"], f"{label}: video of {name!r}")
            expect(facts.get("Frames", "").startswith(
                f"{grouped(r['frames_failed'])} failed of {grouped(r['frames_checked'])} checked"),
                f"{label}: frames of {name!r}")
        verdict = [p for p in s.iter("pre") if p.get("class") == "verdict"]
        if r["fields"]["IDC_RESULT"]:
            expect(verdict and text_of(verdict[0]) == r["fields"]["IDC_RESULT"],
                   f"{label}: verdict of {name!r}")
        if r["stored_crc"] is not None:
            expect(r["stored_crc"] in facts.get("Checksum", ""), f"{label}: checksum of {name!r}")
        crc_cells = " ".join(text_of(td) for td in s.iter("td"))
        for f in r["failed_frames"]:
            expect(f["stored_crc"] in crc_cells, f"{label}: stored CRC of frame {f['frame']}")
            if f["computed_crc"] is not None:
                expect(f["computed_crc"] in crc_cells, f"{label}: computed CRC of {f['frame']}")
        if r["kind"] == "avi" and r["walk_end"] is not None:
            expect(any(isinstance(e.tag, str) and e.tag.endswith("svg") for e in s.iter()), f"{label}: timeline of {name!r}")

    header = facts_of(doc.find(".//header"))
    for term, value in case_texts.items():
        expect(header.get(term) == value, f"{label}: {term} shown as text: {header.get(term)!r}")
    expect(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ \(UTC\)", header.get("Run started", "")),
           f"{label}: start in UTC")
    return results


def check_crcs(results, folder, label):
    """The checksums in the JSON, held against the file's bytes."""
    for r in results:
        data = open(os.path.join(folder, r["path"]), "rb").read()
        if r["kind"] in ("jpg", "png", "bmp") and r["status"] in ("intact", "damaged"):
            expect(r["stored_crc"] == data[-4:].hex(), f"{label}: stored CRC of {r['path']}")
            expect(r["computed_crc"] == "%08x" % zlib.crc32(data[:-4]),
                   f"{label}: computed CRC of {r['path']}")
        else:
            expect(r["stored_crc"] is None and r["computed_crc"] is None,
                   f"{label}: no snapshot CRC for {r['path']}")
        for f in r["failed_frames"]:
            at = f["offset"]
            size = int.from_bytes(data[at + 4:at + 8], "little")
            payload = data[at + 28:at + 8 + size]
            expect(f["stored_crc"] == data[at + 24:at + 28].hex(),
                   f"{label}: stored CRC of frame {f['frame']}")
            whole = at + 8 + size <= len(data)
            expect(f["computed_crc"] == ("%08x" % zlib.crc32(payload) if whole else None),
                   f"{label}: computed CRC of frame {f['frame']}")


def print_pdf(report_path, out_dir, stem, results):
    pdf = os.path.join(out_dir, stem + ".pdf")
    with tempfile.TemporaryDirectory() as profile:
        subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu",
                        "--no-first-run", f"--user-data-dir={profile}", "--no-pdf-header-footer",
                        f"--print-to-pdf={pdf}", "file://" + os.path.abspath(report_path)],
                       capture_output=True, timeout=120)
    expect(os.path.exists(pdf), f"{stem}: printed to PDF")
    if not os.path.exists(pdf):
        return
    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True,
                          check=True).stdout.decode()
    flat = " ".join(text.split())
    for r in results:
        if r["verdict"] is not None:
            expect(" ".join(r["verdict"].split()) in flat, f"{stem}: verdict {r['verdict']!r} in PDF")
    pages = int(re.search(r"Pages:\s+(\d+)",
                          subprocess.run(["pdfinfo", pdf], capture_output=True,
                                         check=True).stdout.decode()).group(1))
    expect(f"Page {pages} of {pages}" in flat, f"{stem}: pages numbered")
    expect(flat.count("Quorvex case report") >= pages, f"{stem}: the head on every page")
    subprocess.run(["pdftoppm", "-png", "-r", "70", "-f", "1", "-l", "3", pdf,
                    os.path.join(out_dir, stem + "-page")], check=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--check", required=True)
    ap.add_argument("--samples", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--pdf", action="store_true")
    a = ap.parse_args()
    check = os.path.abspath(a.check)
    os.makedirs(a.out, exist_ok=True)
    samples = sorted(f for f in os.listdir(a.samples) if f.split(".")[-1] in
                     ("avi", "jpg", "png", "bmp"))

    with tempfile.TemporaryDirectory() as tmp:
        # The bundled samples, named one by one.
        report = os.path.join(tmp, "samples.html")
        case = {"Case": "2026-114 <b>Depot</b> & \"yard\"", "Examiner": "J. O'Neil <i>",
                "Note": "line one\nline </pre><script>alert(1)</script> two"}
        _, json_out, _ = run([check, "--json", "--sha256", *samples], a.samples)
        code, _, err = run([check, "--report", report, "--case", case["Case"], "--examiner",
                            case["Examiner"], "--note", case["Note"], *samples], a.samples)
        expect(code == 1, f"samples: exit status {code}")
        results = check_report(report, json_out.decode(), err, "samples", case)
        check_crcs(json.loads(json_out), a.samples, "samples")
        expect(any(r["failed_frames"] for r in json.loads(json_out)), "samples: a failed frame")
        expect(not os.path.exists(report + ".results.part"), "samples: temporary file removed")

        # A report is never written over a file that is there.
        code, _, err = run([check, "--report", report, samples[0]], a.samples)
        expect(code == 2 and b"must be a new file" in err, f"existing report refused: {err!r}")

        # A folder with hostile names, walked; the report inside it is skipped.
        folder = os.path.join(tmp, "export")
        os.makedirs(os.path.join(folder, "sub"))
        hostile = {"<script>alert(1)<\\script>.jpg": "snapshot-intact.jpg",
                   "a\"b'c&d<e>.png": "snapshot-intact.png",
                   "ctl\x01\x1b[31m\x7f.avi": "recording-h264-damaged.avi",
                   "sub/tab\tname.bmp": "snapshot-unsealed.bmp",
                   "sub/notes.txt": None}
        for name, source in hostile.items():
            path = os.path.join(folder, name)
            if source is None:
                open(path, "w").write("not a recording\n")
            else:
                shutil.copy(os.path.join(a.samples, source), path)
        report2 = os.path.join(folder, "case.html")
        _, json_out2, _ = run([check, "--json", "--sha256", "-r", "export"], tmp)
        code, _, err = run([check, "-r", "-j", "2", "--report", report2, "--case",
                            "x\x01y", "export"], tmp)
        check_report(report2, json_out2.decode(), err, "folder", {"Case": "x\\x01y"})

        # Printed before the audit below removes the folder's report.
        if a.pdf and results is not None:
            print_pdf(report, a.out, "samples-report", results)
            print_pdf(report2, a.out, "folder-report", json.loads(json_out2))

        # An audit of that folder: the manifest, its hash and the counts in the
        # summary, a section for the file that is gone.
        manifest = os.path.join(tmp, "export.sha256")
        run([check, "-r", "--manifest", manifest, "export"], tmp)
        os.remove(os.path.join(folder, "case.html"))
        os.remove(os.path.join(folder, "sub/tab\tname.bmp"))
        with open(os.path.join(folder, "a\"b'c&d<e>.png"), "r+b") as f:
            f.seek(20)
            f.write(b"\0")
        _, json_out3, _ = run([check, "--json", "--audit", manifest, "export"], tmp)
        report3 = os.path.join(tmp, "audit.html")
        code, _, err = run([check, "--audit", manifest, "--report", report3, "export"], tmp)
        expect(code == 1, f"audit: exit status {code}")
        audited = check_report(report3, json_out3.decode(), err, "audit", {})
        if audited is not None:
            doc = parse_strict(open(report3, "rb").read())
            summary = [s for s in doc.iter("section") if s.get("id") == "summary"][0]
            facts = facts_of(summary)
            expect(facts.get("Manifest") == manifest, f"audit: manifest named: {facts}")
            expect(facts.get("Its SHA-256") ==
                   hashlib.sha256(open(manifest, "rb").read()).hexdigest(), "audit: its hash")
            counts = {text_of(tr[0]): text_of(tr[1]) for tr in summary.iter("tr")
                      if len(tr) == 2 and tr[0].tag.endswith("td")}
            states = [r["manifest"]["state"] for r in audited]
            for state in ("unchanged", "changed", "missing"):
                expect(counts.get(state) == str(states.count(state)),
                       f"audit: {state} counted: {counts}")

        shutil.copy(report, os.path.join(a.out, "samples-report.html"))

    if failures:
        print(f"{len(failures)} failures", file=sys.stderr)
        return 1
    print("case report: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
