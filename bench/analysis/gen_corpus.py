#!/usr/bin/env python3
"""Generates a corpus of realistic web pages for the page-analysis benchmark.

Contact pages carry fax numbers in every layout the fax scan knows (parentheses, points,
spaces, dashes, long-distance prefixes, extensions, %20, +1, international, ten digits run
together, non-breaking spaces, nine and seven digits, labels far from the number), laid
out in table cells, definition lists, list items, footers, paragraphs and across line
breaks; the other pages are articles, listings and directories with navigation lists,
tables, forms, inline scripts, comments, entities and long paragraphs. Line ends are a mix
of LF and CR LF, as servers send them.

    gen_corpus.py OUTDIR [--mb 64] [--seed 1]

Deterministic for a seed. Never write the corpus into the source tree.
"""

import argparse
import os
import random

WORDS = ("the of and to in is for on with as by at from that this be are was it or an we our "
         "you your service services office offices company contact support team customer "
         "business quality local national hours monday friday saturday appointment request "
         "information available products delivery repair installation estimate free call "
         "email visit us today new york boston chicago dallas denver seattle portland austin "
         "main street suite floor building north south east west center plaza avenue road "
         "license insured family owned since years experience professional residential "
         "commercial emergency plumbing heating cooling electrical roofing painting legal "
         "dental medical clinic practice law firm attorneys accounting insurance realty").split()

AREA_CODES = [201, 202, 203, 205, 206, 212, 213, 214, 215, 216, 301, 303, 305, 312, 313, 404,
              412, 415, 416, 469, 503, 504, 512, 602, 604, 609, 617, 646, 702, 703, 704, 713,
              718, 773, 800, 808, 813, 818, 860, 866, 877, 888, 904, 905, 917, 949, 972]

ENTITIES = ["&nbsp;", "&amp;", "&copy;", "&#8217;", "&#8211;", "&mdash;", "&quot;", "&raquo;",
            "&#169;", "&eacute;", "&lt;", "&gt;", "&reg;", "&#x2014;", "&hellip;"]


class Page:
    def __init__(self, rng):
        self.rng = rng
        self.parts = []

    def add(self, text):
        self.parts.append(text)

    def nl(self):
        return "\r\n" if self.rng.random() < 0.3 else "\n"

    def text(self):
        return "".join(self.parts)


def words(rng, n):
    out = []
    for _ in range(n):
        w = rng.choice(WORDS)
        r = rng.random()
        if r < 0.03:
            w = rng.choice(ENTITIES) + w
        elif r < 0.06:
            w = w + ","
        elif r < 0.08:
            w = w.capitalize() + "."
        out.append(w)
    return " ".join(out)


def number(rng):
    return rng.choice(AREA_CODES), rng.randint(200, 999), rng.randint(0, 9999)


def fax_layouts(rng):
    """One fax line in one of the layouts the scan has to handle (and a few it cannot)."""
    a, b, c = number(rng)
    forms = [
        "Fax: (%03d) %03d-%04d" % (a, b, c),
        "Fax: %03d.%03d.%04d" % (a, b, c),
        "FAX:%03d-%03d-%04d" % (a, b, c),
        "Fax 1-%03d-%03d-%04d" % (a, b, c),
        "Fax: 1 (%03d) %03d-%04d" % (a, b, c),
        "Fax: %03d %03d %04d ext %d" % (a, b, c, rng.randint(1, 99)),
        "Fax: %03d - %03d - %04d" % (a, b, c),
        "Fax%%20%03d%%20%03d%%20%04d" % (a, b, c),
        "Fax/Phone %03d-%03d-%04d" % (a, b, c),
        "Fax %03d-%03d-%04d Phone %03d-%03d-%04d" % (a, b, c, a, b, (c + 1) % 10000),
        "Fax: +1 %03d %03d %04d x%d" % (a, b, c, rng.randint(1, 99)),
        "Fax: +1-%03d-%03d-%04d" % (a, b, c),
        "Fax: +44 20 %04d %04d" % (rng.randint(1000, 9999), c),
        "Fax: +49 (0) 30 %03d %03d %02d" % (b, rng.randint(100, 999), rng.randint(10, 99)),
        "Fax: %03d%03d%04d" % (a, b, c),
        "Fax:&nbsp;%03d&nbsp;%03d&nbsp;%04d" % (a, b, c),
        "Fax: %03d-%03d-%03d" % (a, b, c % 1000),
        "Fax: %03d-%04d" % (b, c),
        "Fax: call us at %03d-%03d-%04d" % (a, b, c),
        "Telefax %03d %03d %04d" % (a, b, c),
        "Facsimile: (%03d)%03d-%04d" % (a, b, c),
        "F: %03d.%03d.%04d" % (a, b, c),
    ]
    return rng.choice(forms), (a, b, c)


def contact_block(rng, page):
    nl = page.nl()
    line, (a, b, c) = fax_layouts(rng)
    phone = "(%03d) %03d-%04d" % (a, b, (c + 7) % 10000)
    label, _, value = line.partition(" ") if rng.random() < 0.5 else (line, "", "")
    layout = rng.randrange(7)
    if layout == 0:
        page.add('<table class="contact">' + nl)
        page.add('<tr><td class="label">Phone</td><td>%s</td></tr>%s' % (phone, nl))
        if value:
            page.add('<tr><td class="label">%s</td><td>%s</td></tr>%s' % (label, value, nl))
        else:
            page.add('<tr><td colspan="2">%s</td></tr>%s' % (line, nl))
        page.add('<tr><td class="label">Email</td><td><a href="mailto:info@example.com">info@example.com</a></td></tr>' + nl)
        page.add("</table>" + nl)
    elif layout == 1:
        page.add("<dl>%s<dt>Telephone</dt><dd>%s</dd>%s<dt>Fax</dt><dd>%s</dd>%s</dl>%s"
                 % (nl, phone, nl, line[4:] if line.startswith("Fax") else line, nl, nl))
    elif layout == 2:
        page.add('<ul class="contact-list">%s<li>Tel: %s</li>%s<li>%s</li>%s</ul>%s' % (nl, phone, nl, line, nl, nl))
    elif layout == 3:
        page.add('<div class="footer">%s &bull; Tel %s &bull; %s &bull; <a href="mailto:x@y.com">x@y.com</a></div>%s'
                 % (words(rng, 6), phone, line, nl))
    elif layout == 4:
        page.add("<p>%s<br>%sPhone: %s<br>%s%s<br>%s</p>%s" % (words(rng, 5), nl, phone, nl, line, nl, nl))
    elif layout == 5:
        page.add('<p><strong>Fax</strong><br>%s<span class="num">%03d-%03d-%04d</span></p>%s' % (nl, a, b, c, nl))
    else:
        page.add('<div class="vcard"><span class="tel"><span class="type">fax</span> '
                 '<span class="value">+1.%03d.%03d.%04d</span></span></div>%s' % (a, b, c, nl))


def head(rng, page, title):
    nl = page.nl()
    page.add("<!DOCTYPE html>" + nl + "<html lang=\"en\">" + nl + "<head>" + nl)
    page.add('<meta charset="windows-1252">' + nl)
    page.add("<title>%s</title>%s" % (title, nl))
    page.add('<meta name="description" content="%s">%s' % (words(rng, 20), nl))
    page.add('<link rel="stylesheet" href="/css/site.css">' + nl)
    page.add("<script>" + nl)
    for _ in range(rng.randint(5, 40)):
        r = rng.random()
        if r < 0.5:
            page.add("  var x%d = document.getElementById('n%d'); if (x%d) { x%d.className = 'fax-%d'; }%s"
                     % (rng.randint(0, 999), rng.randint(0, 99), 1, 1, rng.randint(0, 9), nl))
        elif r < 0.8:
            page.add("  $('#m%d').html('<span class=\"t\">' + items[%d] + '</span>');%s" % (rng.randint(0, 99), rng.randint(0, 9), nl))
        else:
            page.add("  window.dataLayer = window.dataLayer || []; gtag('config', 'UA-%d-1');%s" % (rng.randint(10000, 99999), nl))
    page.add("</script>" + nl + "<!-- analytics: fax tracking -- do not remove -->" + nl)
    page.add("</head>" + nl + "<body class=\"page\">" + nl)


def nav(rng, page):
    nl = page.nl()
    page.add('<div id="nav"><ul>' + nl)
    for _ in range(rng.randint(5, 25)):
        href = rng.choice(["/%s.htm", "%s.html", "../%s/", "http://www.%s.com/", "https://%s.org/x",
                           "#%s", "javascript:void(0)", "mailto:%s@example.com", "%s.pdf"])
        href = href % rng.choice(WORDS) if "%s" in href else href
        page.add('  <li><a href="%s">%s</a></li>%s' % (href, words(rng, 2).title(), nl))
    page.add("</ul></div>" + nl)


def paragraphs(rng, page, count):
    nl = page.nl()
    for _ in range(count):
        r = rng.random()
        if r < 0.6:
            page.add("<p>%s</p>%s" % (words(rng, rng.randint(20, 160)), nl))
        elif r < 0.7:
            page.add("<h2>%s</h2>%s" % (words(rng, 4).title(), nl))
        elif r < 0.8:
            page.add("<!-- %s -- %d-%d -->%s" % (words(rng, 8), rng.randint(100, 999), rng.randint(1000, 9999), nl))
        elif r < 0.87:
            page.add("<ol>" + "".join("<li>%s</li>" % words(rng, 8) for _ in range(rng.randint(2, 8))) + "</ol>" + nl)
        elif r < 0.93:
            page.add("<table>" + nl)
            for _ in range(rng.randint(2, 12)):
                page.add("<tr>" + "".join("<td>%s</td>" % words(rng, rng.randint(1, 6))
                                          for _ in range(rng.randint(2, 5))) + "</tr>" + nl)
            page.add("</table>" + nl)
        elif r < 0.96:
            page.add('<form><select name="s">' + "".join("<option value=%d>%s" % (k, words(rng, 2))
                                                         for k in range(rng.randint(3, 10))) + "</select></form>" + nl)
        else:
            page.add("<script type=\"text/javascript\">%s  document.write('<p>' + %d + '</p>');%s</script>%s"
                     % (nl, rng.randint(0, 99), nl, nl))


def contact_page(rng):
    page = Page(rng)
    head(rng, page, "Contact Us &ndash; " + words(rng, 3).title())
    nav(rng, page)
    paragraphs(rng, page, rng.randint(3, 15))
    for _ in range(rng.randint(1, 4)):
        page.add("<h3>%s Office</h3>%s" % (words(rng, 1).title(), page.nl()))
        contact_block(rng, page)
        paragraphs(rng, page, rng.randint(0, 4))
    page.add('<div id="footer">&copy; 2024 ' + words(rng, 3).title() + " &#8211; all rights reserved</div>" + page.nl())
    page.add("</body>" + page.nl() + "</html>" + page.nl())
    return page.text()


def article_page(rng):
    page = Page(rng)
    head(rng, page, words(rng, 6).title())
    nav(rng, page)
    paragraphs(rng, page, rng.randint(20, 120))
    if rng.random() < 0.3:
        page.add("<p>Fairfax County officials said the %s.</p>%s" % (words(rng, 12), page.nl()))
    page.add("</body>" + page.nl() + "</html>" + page.nl())
    return page.text()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("outdir")
    ap.add_argument("--mb", type=float, default=64)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    os.makedirs(args.outdir, exist_ok=True)
    total = 0
    k = 0
    limit = int(args.mb * 1024 * 1024)
    while total < limit:
        html = contact_page(rng) if rng.random() < 0.4 else article_page(rng)
        data = html.encode("cp1252", errors="replace")
        path = os.path.join(args.outdir, "page%05d.html" % k)
        with open(path, "wb") as f:
            f.write(data)
        total += len(data)
        k += 1
    print("%d pages, %.1f MB in %s" % (k, total / 1048576.0, args.outdir))


if __name__ == "__main__":
    main()
