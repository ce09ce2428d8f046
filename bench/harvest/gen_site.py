#!/usr/bin/env python3
"""Generates the harvest benchmark's web: HOSTS hosts of SECTIONS sections, PAGES pages in
all, linked to each other, with fax numbers in the layouts the fax scan reads.

usage: gen_site.py OUTDIR [PAGES]

Writes OUTDIR/www/<host>/..., OUTDIR/start.txt (the start pages, one a line, as the harvest
queues them: host/path) and OUTDIR/numbers.txt (every distinct number, stored form)."""

import os
import sys

HOSTS = ["h%d.bench" % i for i in range(5)]
SECTIONS = 4
AREA = [212, 415, 312, 617, 713, 800, 305, 206, 404, 503, 602, 214]
FILLER = ("<p>Our family business has served the area since 1962. We offer repairs, "
          "installations and maintenance for homes and offices, with free estimates and "
          "friendly service. Call us today or visit our showroom.</p>\r\n")


def layout(n, a, e, l):
    forms = [
        "Fax: (%s) %s-%s", "Fax: %s.%s.%s", "FAX:%s-%s-%s", "Fax 1-%s-%s-%s",
        "Fax: 1 (%s) %s-%s", "Fax: %s %s %s ext 12", "Fax: %s - %s - %s",
        "Fax/Phone %s-%s-%s", "Fax: +1 %s %s %s x12", "Fax%%20%s%%20%s%%20%s",
    ]
    return forms[n % len(forms)] % (a, e, l)


def main():
    out = sys.argv[1]
    total = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    per_section = total // (len(HOSTS) * SECTIONS)
    distinct = max(500, total // 3)
    numbers = set()
    starts = []
    n = 0
    for hi, host in enumerate(HOSTS):
        other = HOSTS[(hi + 1) % len(HOSTS)]
        for s in range(SECTIONS):
            folder = os.path.join(out, "www", host, "s%d" % s)
            os.makedirs(folder, exist_ok=True)
            starts.append("%s/s%d/index.htm" % (host, s))
            for p in range(per_section):
                name = "index.htm" if p == 0 else "p%d.htm" % p
                links = []
                for d in (1, 2, 3):
                    if p + d < per_section:
                        links.append("p%d.htm" % (p + d))
                links.append("/s%d/p%d.htm" % ((s + 1) % SECTIONS, (p * 7) % per_section or 1))
                links.append("http://%s/s%d/p%d.htm" % (other, s, (p * 13) % per_section or 1))
                links.append("index.htm")
                body = ["<html><head><title>%s section %d page %d</title></head><body>\r\n" % (host, s, p),
                        "<h1>Section %d, page %d</h1>\r\n" % (s, p)]
                body.append(FILLER * 6)
                if n % 7 != 6:  # most pages carry a number
                    k = n % distinct
                    a, e, l = str(AREA[k % len(AREA)]), "555", "%04d" % k
                    numbers.add("1-%s-%s-%s" % (a, e, l))
                    body.append("<p>Phone 212-555-9999<br>%s</p>\r\n" % layout(n, a, e, l))
                body.append("<ul>\r\n")
                for href in links:
                    body.append('<li><a href="%s">%s</a></li>\r\n' % (href, href))
                body.append("</ul>\r\n")
                body.append(FILLER * 4)
                body.append("</body></html>\r\n")
                with open(os.path.join(folder, name), "w", newline="") as f:
                    f.write("".join(body))
                n += 1
    with open(os.path.join(out, "start.txt"), "w") as f:
        f.write("\n".join(starts) + "\n")
    with open(os.path.join(out, "numbers.txt"), "w") as f:
        f.write("\n".join(sorted(numbers)) + "\n")
    print("%d pages on %d hosts, %d distinct numbers, %d start pages" % (n, len(HOSTS), len(numbers), len(starts)))


if __name__ == "__main__":
    main()
