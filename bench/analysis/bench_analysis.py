#!/usr/bin/env python3
"""Page-analysis benchmark: `varnel-tool faxes --intl` (fax finder on, and off with --literal)
against `w3m -dump`, and scaling.

    bench_analysis.py --tool BUILD/src/app/varnel-tool [--work DIR] [--mb 64]
                      [--real CORPUS/real-pages] [--repeat 3] [--skip-w3m] [--skip-scaling]

1. Throughput: the programs read the same files in the same batches, side by side in one
   run; the best of --repeat runs counts, in wall time and in CPU time (the machine may
   be shared). Prints MB/s of each and the ratios. With --literal the tool runs the whole
   path of a finished download (second page file, conversion, fax scan, store) against a
   fresh temporary store below $TMPDIR; by default it runs the fax line scan and the fax
   finder on each page in memory and keeps the numbers new by their E.164 form.
2. Scaling: the CPU time for an input and for the input doubled, for the generated corpus and
   for pathological pages (table rows, cells never closed, a line without whitespace,
   "fax" over and over, links on one line). The start-up of the program (measured on an
   empty page) is subtracted before the ratio is taken; the goal is at most 2.2.

The generated corpus goes to --work (default: /tmp/varnel-bench-analysis), never into
the source tree.
"""

import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MB = 1024.0 * 1024.0


def run(cmd, files, batch=400):
    """Runs cmd over files in batches; returns (wall seconds, CPU seconds of the children)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    for k in range(0, len(files), batch):
        r = subprocess.run(cmd + files[k:k + batch], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if r.returncode != 0:
            sys.exit("%s failed (%d): %s" % (cmd[0], r.returncode, r.stderr.decode(errors="replace")[:300]))
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def best(cmd, files, repeat):
    """The best wall time and the best CPU time of repeat runs."""
    runs = [run(cmd, files) for _ in range(repeat)]
    return min(w for w, _ in runs), min(c for _, c in runs)


def size_of(files):
    return sum(os.path.getsize(f) for f in files)


def warm(files):
    for f in files:
        with open(f, "rb") as h:
            while h.read(1 << 20):
                pass


def corpus(work, mb):
    d = os.path.join(work, "corpus")
    files = sorted(os.path.join(d, f) for f in os.listdir(d)) if os.path.isdir(d) else []
    if size_of(files) < mb * MB * 0.99:
        subprocess.run([sys.executable, os.path.join(HERE, "gen_corpus.py"), d, "--mb", str(mb)], check=True)
        files = sorted(os.path.join(d, f) for f in os.listdir(d))
    return files


def throughput(tool, label, files, repeat, with_w3m):
    """The tool with the fax finder (the default) and without it (--literal: the fax line
    scan alone, through the store), and w3m, over the same files in one run."""
    warm(files)
    total = size_of(files) / MB
    runs = [("varnel-tool faxes --intl:", [tool, "faxes", "--intl"]),
            ("  ... --literal:", [tool, "faxes", "--intl", "--literal"])]
    if with_w3m:
        runs.append(("w3m -dump:", ["w3m", "-dump", "-T", "text/html"]))
    times = {}
    for name, cmd in runs:
        w, c = best(cmd, files, repeat)
        times[name] = (w, c)
        print("%-18s %6.1f MB  %-26s %6.3f s wall %6.1f MB/s, %6.3f s CPU %6.1f MB/s"
              % (label, total, name, w, total / w, c, total / c), flush=True)
        label = ""
    if with_w3m:
        w_w3m, c_w3m = times["w3m -dump:"]
        for name, _ in runs[:2]:
            w, c = times[name]
            print("%-18s %6s     %s %.1fx as fast as w3m (wall), %.1fx (CPU)"
                  % ("", "", "finder on: " if "--intl:" in name else "finder off:", w_w3m / w, c_w3m / c), flush=True)


# Pathological pages, each a function of a scale k (1 = the size named in the goal).
def rows(k):
    body = "".join("<tr><td>Office %d</td><td>Fax: 212-%03d-%04d</td></tr>\n" % (i, 200 + i // 10000, i % 10000)
                   for i in range(10000 * k))
    return "<html><body><table>\n" + body + "</table></body></html>"


def open_cells(k):
    body = "".join("<tr><td>cell %d " % i for i in range(10000 * k))
    return "<html><body><table>" + body + "</table><p>end</p></body></html>"


def open_rows(k):
    body = "".join("<tr><td>a%d</td><td>b</td>" % i for i in range(10000 * k))
    return "<html><body><table>" + body + "</table></body></html>"


def no_whitespace(k):
    return "<html><body>" + "x" * (1000000 * k) + "</body></html>"


def fax_words(k):
    return "<html><body>" + "fax" * (100000 * k) + "</body></html>"


def fax_lines(k):
    return "<html><body>" + "Fax: 212-555-0187<br>" * (100000 * k) + "</body></html>"


def links_line(k):
    return "<html><body>" + "".join('<a href="p%d.htm">%d</a>' % (i, i) for i in range(100000 * k)) + "</body></html>"


def comment_dashes(k):
    return "<html><body>x<!-- " + "- " * (500000 * k) + "--></body></html>"


def fax_table(k):
    rows = "".join("<tr><td>Office %d</td><td>%03d 555 %04d</td></tr>\n" % (i, 200 + i % 700, i % 10000)
                   for i in range(10000 * k))
    return "<html><body><table><tr><th>Office</th><th>Fax</th></tr>\n" + rows + "</table></body></html>"


def deep_nesting(k):
    return "<html><body>" + "<div><span>" * (50000 * k) + "Fax: 212-555-0187" + "</span></div>" * (50000 * k) + "</body></html>"


def one_letter_labels(k):
    return "<html><body>" + "<p>T: 212 555 0100 F: 212 555 0187 C: 212 555 0199</p>\n" * (20000 * k) + "</body></html>"


def json_ld(k):
    items = ",".join('{"@type":"Organization","faxNumber":"+1 212 555 %04d"}' % (i % 10000) for i in range(20000 * k))
    return '<html><head><script type="application/ld+json">{"@graph":[' + items + ']}</script></head><body>x</body></html>'


def unclosed_markup(k):
    return "<html><body>" + "<?x> <%y> Fax: 212-555-0187<br>\n" * (50000 * k) + "</body></html>"


def digit_runs(k):
    return "<html><body><p>Fax: " + "9" * (1000000 * k) + "</p><p>Fax: " + "12 " * (300000 * k) + "</p></body></html>"


PATHOLOGICAL = [
    ("10,000 table rows", rows),
    ("cells never closed", open_cells),
    ("rows never closed", open_rows),
    ("1 MB without whitespace", no_whitespace),
    ("100,000 x 'fax'", fax_words),
    ("100,000 fax lines", fax_lines),
    ("100,000 links, one line", links_line),
    ("comment of dashes", comment_dashes),
    ("fax column under a header", fax_table),
    ("elements nested 100,000 deep", deep_nesting),
    ("one-letter labels", one_letter_labels),
    ("JSON-LD, 20,000 fax numbers", json_ld),
    ("digit runs of a million", digit_runs),
    ("instructions never closed", unclosed_markup),
]


def timed_page(cmd, path, repeat):
    return best(cmd, [path], repeat)[1]


def scaling(tool, work, files, repeat):
    print("\nScaling (CPU time for the input doubled / for the input, start-up subtracted; goal <= 2.20)")
    ok = True
    with tempfile.TemporaryDirectory(dir=work) as d:
        empty = os.path.join(d, "empty.html")
        with open(empty, "w") as f:
            f.write("<html><body></body></html>")
        cmd = [tool, "faxes", "--intl"]
        startup = timed_page(cmd, empty, repeat * 2)
        print("  start-up of varnel-tool on an empty page: %.3f s" % startup)

        # The generated corpus, half and whole.
        half, acc = [], 0
        total = size_of(files)
        for f in files:
            if acc >= total / 2:
                break
            half.append(f)
            acc += os.path.getsize(f)
        t1 = best(cmd, half, repeat)[1]
        t2 = best(cmd, files, repeat)[1]
        ok &= report("generated corpus", acc, t1, t2, 0.0)

        # Each page at the smallest scale (1 = the size named in the goal) whose run takes
        # 0.1 s beyond start-up, so that the ratio is not start-up noise; then doubled.
        p1 = os.path.join(d, "p1.html")
        p2 = os.path.join(d, "p2.html")
        for name, make in PATHOLOGICAL:
            k = 1
            while True:
                with open(p1, "w") as f:
                    f.write(make(k))
                if k >= 32 or timed_page(cmd, p1, 2) - startup >= 0.1:
                    break
                k *= 2
            with open(p2, "w") as f:
                f.write(make(2 * k))
            t1 = timed_page(cmd, p1, repeat)
            t2 = timed_page(cmd, p2, repeat)
            ok &= report(name if k == 1 else "%s, x%d" % (name, k), os.path.getsize(p1), t1, t2, startup)

        # Links are queued through the store: the links subcommand on one line of links.
        lcmd = [tool, "links", "--url", "example.com/dir/index.htm"]
        for k in (1,):
            p1 = os.path.join(d, "l1.html")
            p2 = os.path.join(d, "l2.html")
            with open(p1, "w") as f:
                f.write(links_line(k)[: 2 * 1024 * 1024])
            with open(p2, "w") as f:
                f.write(links_line(2 * k)[: 4 * 1024 * 1024])
            t1 = best(lcmd, [p1], repeat)[1]
            t2 = best(lcmd, [p2], repeat)[1]
            ok &= report("links subcommand, one line", os.path.getsize(p1), t1, t2, startup)
    print("\nScaling: %s" % ("all within the goal" if ok else "SOME OVER THE GOAL"))
    return ok


def report(name, size, t1, t2, startup):
    a = max(t1 - startup, 1e-6)
    b = max(t2 - startup, 1e-6)
    ratio = b / a
    good = ratio <= 2.2
    print("  %-34s %8.2f MB  %7.3f s -> %7.3f s   ratio %5.2f  %s"
          % (name, size / MB, t1, t2, ratio, "ok" if good else "OVER"), flush=True)
    return good


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--tool", required=True)
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "varnel-bench-analysis"))
    ap.add_argument("--mb", type=float, default=64)
    ap.add_argument("--real", default=os.path.join(HERE, "..", "..", "..", "shared", "corpus", "real-pages"))
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--skip-w3m", action="store_true")
    ap.add_argument("--skip-scaling", action="store_true")
    args = ap.parse_args()

    tool = os.path.abspath(args.tool)
    os.makedirs(args.work, exist_ok=True)
    with_w3m = not args.skip_w3m
    if with_w3m and subprocess.run(["sh", "-c", "command -v w3m"], stdout=subprocess.DEVNULL).returncode != 0:
        print("w3m is not installed (Debian package w3m): comparison skipped")
        with_w3m = False

    print("Throughput (best of %d, TMPDIR=%s)" % (args.repeat, tempfile.gettempdir()))
    files = corpus(args.work, args.mb)
    throughput(tool, "generated corpus", files, args.repeat, with_w3m)
    if os.path.isdir(args.real):
        real = sorted(os.path.join(args.real, f) for f in os.listdir(args.real) if f.endswith(".html"))
        throughput(tool, "real pages", real, args.repeat, with_w3m)

    ok = True
    if not args.skip_scaling:
        ok = scaling(tool, args.work, files, args.repeat)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
