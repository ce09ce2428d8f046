#!/usr/bin/env python3
"""Figures of the round-trip benchmark (run.sh calls it).

report.py run WORK LABEL CLIENT COUNT START EXIT
    What one client run did, from the nginx log of the run alone (WORK/nginx/logs/LABEL.log),
    /usr/bin/time's report (WORK/LABEL/time), netsim's counts before and after
    (WORK/LABEL/netsim.before, .after) and, for the harvest, its database. Appends a line
    to WORK/results.jsonl and prints a summary line.
report.py skip WORK CLIENT COUNT WHY
report.py summary WORK RTT_MS RTTS_PER_PAGE
    The tables: pages a second against the round-trip limit and the peer, and the details.
"""

import json
import os
import sqlite3
import sys


def stats(path):
    out = {}
    try:
        for line in open(path):
            key, _, value = line.strip().rpartition(" ")
            out[key] = float(value)
    except (OSError, ValueError):
        pass
    return out


def time_report(path):
    out = {}
    for line in open(path):
        line = line.strip()
        key, _, value = line.partition(": ")
        if key == "Elapsed (wall clock) time (h:mm:ss or m:ss)":
            parts = value.split(":")
            out["wall"] = sum(float(x) * 60 ** i for i, x in enumerate(reversed(parts)))
        elif key == "Maximum resident set size (kbytes)":
            out["rss_mb"] = int(value) / 1024
        elif key in ("User time (seconds)", "System time (seconds)"):
            out["cpu"] = out.get("cpu", 0.0) + float(value)
    return out


def run(work, label, client, n, start, rc):
    start = float(start)
    pages, last, requests = set(), start, 0
    for line in open(os.path.join(work, "nginx/logs", label + ".log")):
        f = line.split()
        if len(f) < 5:
            continue
        requests += 1
        t, status, port, host, uri = float(f[0]), f[1], f[2], f[3], f[4]
        # Live pages over TLS; "/" is the index page.
        if status == "200" and port == "8443" and uri != "/robots.txt":
            pages.add((host, "/index.htm" if uri == "/" else uri))
            last = max(last, t)
    row = {"client": client, "n": int(n), "pages": len(pages), "seconds": last - start,
           "requests": requests, "exit": int(rc)}
    row["rate"] = len(pages) / row["seconds"] if row["seconds"] > 0 else 0.0
    row.update(time_report(os.path.join(work, label, "time")))
    before = stats(os.path.join(work, label, "netsim.before"))
    after = stats(os.path.join(work, label, "netsim.after"))
    row["connections"] = int(after.get("connections", 0) - before.get("connections", 0))
    row["late_mean_ms"] = after.get("late mean ms", -1)
    row["late_max_ms"] = after.get("late max ms", -1)
    row["proxy_cpu"] = after.get("cpu s", -1)
    if client.startswith("harvest"):
        row["found"] = None
        want = {l.strip() for l in open(os.path.join(work, "web/numbers.txt")) if l.strip()}
        db = sqlite3.connect(os.path.join(work, label, "data/varnel.mdb"))
        have = {r[0] for r in db.execute("SELECT fax FROM faxes")}
        row["numbers"] = "%d/%d" % (len(want & have), len(want))
        row["found"], row["wanted"] = len(want & have), len(want)
    with open(os.path.join(work, "results.jsonl"), "a") as f:
        f.write(json.dumps(row) + "\n")
    print("  %-8s %4s: %5d pages in %6.1f s = %6.1f pages/s (wall %.1f s, cpu %.1f s, %.1f MB, "
          "%d connections, proxy late %.1f/%.0f ms, exit %d%s)"
          % (client, n, row["pages"], row["seconds"], row["rate"], row.get("wall", 0),
             row.get("cpu", 0), row.get("rss_mb", 0), row["connections"], row["late_mean_ms"],
             row["late_max_ms"], row["exit"],
             ", numbers " + row["numbers"] if "numbers" in row else ""))


def skip(work, client, n, why):
    with open(os.path.join(work, "results.jsonl"), "a") as f:
        f.write(json.dumps({"client": client, "n": int(n), "skipped": why}) + "\n")
    print("  %-8s %4s: skipped (%s)" % (client, n, why))


def summary(work, rtt_ms, per_page):
    rows = [json.loads(l) for l in open(os.path.join(work, "results.jsonl")) if l.strip()]
    total = int(open(os.path.join(work, "web/pages.txt")).read())
    rtt = float(rtt_ms) / 1000
    by = {(r["client"], r["n"]): r for r in rows}
    counts = sorted({r["n"] for r in rows})

    def rate(client, n):
        r = by.get((client, n))
        return r["rate"] if r and "rate" in r else None

    def cell(v, fmt="%.1f"):
        return fmt % v if v is not None else "-"

    print("| parallel | harvest pages/s | wget2 pages/s | round-trip limit | harvest / limit "
          "| harvest / wget2 |")
    print("|---:|---:|---:|---:|---:|---:|")
    for n in counts:
        h, w = rate("harvest", n), rate("wget2", n)
        limit = n / (float(per_page) * rtt)
        print("| %d | %s | %s | %.1f | %s | %s |" % (
            n, cell(h), cell(w), limit, cell(h / limit if h is not None else None, "%.2f"),
            cell(h / w if h is not None and w else None, "%.2f")))
    # Contact pages first against breadth-first, when both ran.
    if any(r["client"] == "harvest-cf" for r in rows) and any(
            r["client"] == "harvest-bfs" for r in rows):
        print()
        print("| parallel | breadth-first: pages | faxes found | pages per fax | contact first: "
              "pages | faxes found | pages per fax | fewer pages per fax | faxes kept |")
        print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
        for n in counts:
            b, c = by.get(("harvest-bfs", n)), by.get(("harvest-cf", n))
            if not b or not c or not b.get("found") or not c.get("found"):
                continue
            bp, cp = b["pages"] / b["found"], c["pages"] / c["found"]
            print("| %d | %d | %d of %d | %.1f | %d | %d of %d | %.1f | %.1f\u00d7 | %.1f%% |" % (
                n, b["pages"], b["found"], b["wanted"], bp, c["pages"], c["found"], c["wanted"],
                cp, bp / cp, 100.0 * c["found"] / b["found"]))
    print()
    print("| client | parallel | live pages (of %d) | s to the last page | wall s | CPU s "
          "| peak RSS MB | connections | requests | proxy late mean / max ms | numbers stored |"
          % total)
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for r in rows:
        if "skipped" in r:
            continue
        print("| %s | %d | %d | %.1f | %.1f | %.1f | %.1f | %d | %d | %.1f / %.0f | %s |" % (
            r["client"], r["n"], r["pages"], r["seconds"], r.get("wall", 0), r.get("cpu", 0),
            r.get("rss_mb", 0), r["connections"], r["requests"], r["late_mean_ms"],
            r["late_max_ms"], r.get("numbers", "-")))


if __name__ == "__main__":
    {"run": run, "skip": skip, "summary": summary}[sys.argv[1]](*sys.argv[2:])
