#!/usr/bin/env python3
"""Generates the round-trip benchmark's web: SITES live sites of PAGES pages each, with a
fax number on most pages, plus DEAD dead domains of each kind (no such name, connection
refused, silently dropped).

usage: gen_web.py OUTDIR [SITES] [PAGES] [DEAD] [LAYOUT] [NOFAX]
       (defaults 300, 10, 30, flat, 0)

LAYOUT flat: every site has PAGES pages, each linking all the others, most with a number of
their own. LAYOUT sites: sites as businesses build them, of 50 to 300 pages (PAGES is not
used): a menu on every page (its contact page last, one link deep, or two links deep behind
"About us" or "Company"), categories and their items, a footer; the site's one fax on its
contact page, and for some sites in the footer of every page or on a support page too. The
menus are in English, German, French, Spanish or Italian, and some contact links name their
page only in their address ("Write to us" to contact-us.htm). NOFAX (0 to 1): the share of
the sites that show no fax anywhere, as many real ones do.

Writes
  OUTDIR/www/<site>/index.htm, p1.htm ...   the pages (relative links inside a site, a few
                                            absolute links to other live sites)
  OUTDIR/www/<site>/robots.txt              allows everything
  OUTDIR/hosts.tsv      name, kind (live, refused, dropped, nxdomain), address ("-" for none)
  OUTDIR/start.txt      every domain, live and dead, shuffled: the queue a search would give
  OUTDIR/numbers.txt    every distinct number on the live pages, in stored form
  OUTDIR/sites.tsv      (sites layout) per site: name, pages, contact depth, where its fax is
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


# The menu of a site in one language: the contact link's texts, "About us", a company page
# that is no contact page by its name, and the rest of the menu.
MENUS = {
    "en": {"contact": ["Contact", "Contact us", "Contact Us"], "about": "About us",
           "company": "Company", "menu": ["Home", "Products", "Services", "News"],
           "inner": "Contact", "words": "Our products and services"},
    "de": {"contact": ["Kontakt", "Impressum"], "about": "\u00dcber uns", "company": "Unternehmen",
           "menu": ["Startseite", "Produkte", "Leistungen", "Aktuelles"], "inner": "Kontakt",
           "words": "Unsere Produkte und Leistungen"},
    "fr": {"contact": ["Nous contacter", "Contact"], "about": "Qui sommes-nous",
           "company": "Entreprise", "menu": ["Accueil", "Produits", "Services", "Actualit\u00e9s"],
           "inner": "Nous contacter", "words": "Nos produits et services"},
    "es": {"contact": ["Contacto", "Cont\u00e1ctenos"], "about": "Qui\u00e9nes somos",
           "company": "Empresa", "menu": ["Inicio", "Productos", "Servicios", "Noticias"],
           "inner": "Contacto", "words": "Nuestros productos y servicios"},
    "it": {"contact": ["Contatti"], "about": "Chi siamo", "company": "Azienda",
           "menu": ["Home", "Prodotti", "Servizi", "Notizie"], "inner": "Contatti",
           "words": "I nostri prodotti e servizi"},
}
NEUTRAL_CONTACT = ["Write to us", "Get a quote", "Reach our team"]


def business_site(folder, site, rng, fax, form, partner, has_fax):
    """Writes one site of the sites layout; returns (pages, depth, where the fax is)."""
    lang = rng.choice(["en"] * 6 + ["de", "fr", "es", "it"])
    m = MENUS[lang]
    total = rng.randint(50, 300)
    depth = 1 if rng.random() < 0.55 else 2
    via_about = depth == 2 and rng.random() < 0.65
    if rng.random() < 0.15:
        contact_name, contact_text = "contact-us.htm", rng.choice(NEUTRAL_CONTACT)
    else:
        contact_name = rng.choice(["contact.htm", "kontakt.htm", "contacto.htm", "page-7.htm"])
        contact_text = rng.choice(m["contact"])
    middle = ("about.htm", m["about"]) if via_about else ("company.htm", m["company"])
    spread = rng.random()
    footer_fax = has_fax and spread < 0.3
    support_fax = has_fax and 0.3 <= spread < 0.4
    where = "contact" + (", every page" if footer_fax else "") + (", support" if support_fax else "")
    if not has_fax:
        where = "none"

    fixed = ["index.htm", "products.htm", "services.htm", "news.htm", middle[0], contact_name,
             "privacy.htm", "terms.htm", "sitemap.htm", "support.htm"]
    items = ["item%d.htm" % i for i in range(total - len(fixed))]
    categories = [("cat%d.htm" % c, "Category %d" % (c + 1)) for c in range(8)]
    # The category pages are the first items; the others are spread over them.
    cat_items = {c: [] for c, _ in categories}
    for k, it in enumerate(items[8:]):
        cat_items[categories[k % 8][0]].append(it)
    names_of = {}
    for c, t in categories:
        names_of[c] = t
    items = [c for c, _ in categories] + items[8:]

    menu = [("index.htm", m["menu"][0]), ("products.htm", m["menu"][1]),
            ("services.htm", m["menu"][2]), ("news.htm", m["menu"][3]), middle]
    if depth == 1:
        menu.append((contact_name, contact_text))
    footer_links = [("privacy.htm", "Privacy"), ("terms.htm", "Terms"), ("sitemap.htm", "Sitemap"),
                    ("support.htm", "Support")]
    fax_line = "<p>Tel. 212-555-9999<br>%s</p>\r\n" % layout(form, *fax)

    def page(name, links, content, with_fax):
        body = ["<html><head><title>%s</title></head><body>\r\n" % site,
                '<div class="menu"><ul>\r\n']
        for href, text in menu:
            body.append('<li><a href="%s">%s</a></li>\r\n' % (href, text))
        body.append("</ul></div>\r\n<h1>%s</h1>\r\n" % m["words"])
        for href, text in links:
            body.append('<p><a href="%s">%s</a></p>\r\n' % (href, text))
        body.append(content)
        body.append(FILLER * 3)
        if with_fax:
            body.append(fax_line)
        body.append('<div class="footer">\r\n')
        for href, text in footer_links:
            body.append('<a href="%s">%s</a>\r\n' % (href, text))
        if footer_fax:
            body.append("<p>%s</p>\r\n" % layout(form, *fax))
        body.append("<p>&copy; 2024 %s</p></div>\r\n</body></html>\r\n" % site)
        with open(os.path.join(folder, name), "w", newline="", encoding="utf-8") as f:
            f.write("".join(body))

    page("index.htm", categories + [("http://%s/" % partner, "Our partner")], "", False)
    page("products.htm", categories[:4], "", False)
    page("services.htm", categories[4:], "", False)
    page("news.htm", [(items[-1 - k], "News %d" % k) for k in range(5)], "", False)
    if depth == 2:
        page(middle[0], [("news.htm", "News"),
                         (contact_name, m["inner"] if contact_name != "contact-us.htm"
                          else contact_text)], "", False)
    else:
        page(middle[0], [("news.htm", "News")], "", False)
    page(contact_name, [], "<p>Acme Street 1, Springfield</p>\r\n", has_fax)
    page("privacy.htm", [], "", False)
    page("terms.htm", [], "", False)
    page("sitemap.htm", [(n, n) for n in items], "", False)
    page("support.htm", [], "", support_fax)
    for c, t in categories:
        page(c, [(it, "Item %s" % it[4:-4]) for it in cat_items[c]], "", False)
    for k, it in enumerate(items[8:]):
        related = [items[8 + (k + d) % (len(items) - 8)] for d in (1, 2, 3)]
        page(it, [(r, "Related item") for r in related], "", False)
    return total, depth if via_about or depth == 1 else "2 (company)", where


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
    layout_kind = sys.argv[5] if len(sys.argv) > 5 else "flat"
    nofax = float(sys.argv[6]) if len(sys.argv) > 6 else 0.0
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
    if layout_kind == "sites":
        with open(os.path.join(out, "sites.tsv"), "w") as f:
            for si, site in enumerate(live):
                folder = os.path.join(out, "www", site)
                os.makedirs(folder, exist_ok=True)
                with open(os.path.join(folder, "robots.txt"), "w") as r:
                    r.write("User-agent: *\nDisallow:\n")
                fax = (str(AREA[si % len(AREA)]), "555", "%04d" % (si % 10000))
                has_fax = (si * 0.618034) % 1.0 >= nofax
                if has_fax:
                    numbers.add("1-%s-%s-%s" % fax)
                count, depth, where = business_site(folder, site, rng, fax, si,
                                                    live[(si + 1) % len(live)], has_fax)
                f.write("%s\t%d\t%s\t%s\n" % (site, count, depth, where))
                n += count
    for si, site in enumerate(live if layout_kind == "flat" else []):
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
