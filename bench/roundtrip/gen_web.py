#!/usr/bin/env python3
"""Generates the round-trip benchmark's web: SITES live sites of PAGES pages each, with a
fax number on most pages, plus DEAD dead domains of each kind (no such name, connection
refused, silently dropped).

usage: gen_web.py OUTDIR [SITES] [PAGES] [DEAD]        (defaults 300, 10, 30)

Writes
  OUTDIR/www/<site>/index.htm, p1.htm ...   the pages (relative links inside a site, a few
                                            absolute links to other live sites)
  OUTDIR/www/<site>/robots.txt              allows everything
  OUTDIR/hosts.tsv      name, kind (live, refused, dropped, nxdomain), address ("-" for none)
  OUTDIR/start.txt      every domain, live and dead, shuffled: the queue a search would give
  OUTDIR/numbers.txt    every distinct number on the live pages, in stored form
  OUTDIR/pages.txt      how many pages the live sites hold
"""

import os
import random
import sys

WORDS_A = ["acme", "bright", "city", "delta", "eagle", "first", "golden", "harbor", "iron",
           "jolly", "keystone", "liberty", "metro", "north", "oak", "pioneer", "quality",
           "river", "summit", "tri", "union", "valley", "west", "yellow"]
WORDS_B = ["plumbing", "dental", "roofing", "law", "print", "supply", "motors", "clinic",
           "realty", "tools", "bakery", "glass", "electric", "freight", "paper", "florist"]
TLDS = ["com", "net", "org"]
AREA = [212, 415, 312, 617, 713, 305, 206, 404, 503, 602, 214, 801]
FILLER = ("<p>Our family business has served the area since 1962. We offer repairs, "
          "installations and maintenance for homes and offices, with free estimates and "
          "friendly service. Call us today or visit our showroom.</p>\r\n")


def layout(n, a, e, l):
    forms = ["Fax: (%s) %s-%s", "Fax: %s.%s.%s", "FAX:%s-%s-%s", "Fax 1-%s-%s-%s",
             "Fax: 1 (%s) %s-%s", "Fax: %s %s %s"]
    return forms[n % len(forms)] % (a, e, l)


def names(count, rng, used):
    out = []
    while len(out) < count:
        name = "%s%s%d.%s" % (rng.choice(WORDS_A), rng.choice(WORDS_B), rng.randrange(10, 1000),
                              rng.choice(TLDS))
        if name not in used:
            used.add(name)
            out.append(name)
    return out


def main():
    out = sys.argv[1]
    sites = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    pages = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    dead = int(sys.argv[4]) if len(sys.argv) > 4 else 30
    rng = random.Random(15)
    used = set()
    live = names(sites, rng, used)
    refused = names(dead, rng, used)
    dropped = names(dead, rng, used)
    nxdomain = names(dead, rng, used)

    with open(os.path.join(out, "hosts.tsv"), "w") as f:
        # Addresses of the benchmarking range 198.18.0.0/15, which a crawler takes for public
        # ones (it may refuse private ranges). Live sites and refusing hosts are on the
        # namespace's loopback; dropped ones are routed to a link where nothing answers.
        for i, h in enumerate(live):
            f.write("%s\tlive\t198.18.%d.%d\n" % (h, i // 250, i % 250 + 1))
        for i, h in enumerate(refused):
            f.write("%s\trefused\t198.19.%d.%d\n" % (h, i // 250, i % 250 + 1))
        for i, h in enumerate(dropped):
            f.write("%s\tdropped\t198.19.%d.%d\n" % (h, 128 + i // 250, i % 250 + 1))
        for h in nxdomain:
            f.write("%s\tnxdomain\t-\n" % h)

    numbers = set()
    n = 0
    for si, site in enumerate(live):
        folder = os.path.join(out, "www", site)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "robots.txt"), "w") as f:
            f.write("User-agent: *\nDisallow:\n")
        others = [live[(si + d) % len(live)] for d in (1, 7, 31)]
        for p in range(pages):
            name = "index.htm" if p == 0 else "p%d.htm" % p
            body = ["<html><head><title>%s page %d</title></head><body>\r\n" % (site, p),
                    "<h1>%s</h1>\r\n" % site, "<ul>\r\n"]
            for q in range(1, pages):
                if q != p:
                    body.append('<li><a href="p%d.htm">Page %d</a></li>\r\n' % (q, q))
            body.append('<li><a href="/">Home</a></li>\r\n')
            body.append('<li><a href="http://%s/">Partner</a></li>\r\n' % others[p % 3])
            body.append("</ul>\r\n")
            body.append(FILLER * 6)
            if n % 8 != 7:  # most pages carry a number
                a, e, l = str(AREA[n % len(AREA)]), "555", "%04d" % (n % 10000)
                numbers.add("1-%s-%s-%s" % (a, e, l))
                body.append("<p>Phone 212-555-9999<br>%s</p>\r\n" % layout(n, a, e, l))
            body.append(FILLER * 4)
            body.append("</body></html>\r\n")
            with open(os.path.join(folder, name), "w", newline="") as f:
                f.write("".join(body))
            n += 1

    start = live + refused + dropped + nxdomain
    rng.shuffle(start)
    with open(os.path.join(out, "start.txt"), "w") as f:
        f.write("\n".join(start) + "\n")
    with open(os.path.join(out, "numbers.txt"), "w") as f:
        f.write("\n".join(sorted(numbers)) + "\n")
    with open(os.path.join(out, "pages.txt"), "w") as f:
        f.write("%d\n" % n)
    print("%d live sites, %d pages, %d distinct numbers; %d dead domains of each kind"
          % (len(live), n, len(numbers), dead))


if __name__ == "__main__":
    main()
