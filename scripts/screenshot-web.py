#!/usr/bin/env python3
"""A small loopback web for scripts/screenshot.sh: a search engine and the sites it finds.

Every request comes to this one server (the program is started with --search-host and
--resolve pointing here); the Host header and the path pick the answer:

  /search?...&start=N&...&q=TERMS   a result page of links to www.<trade><i>.com
  /search/dir?...&p=TERMS&b=N       the same for the other engine
  any other host and path           a small company site with a fax number and links

Sites answer slowly and in pieces, so that a harvest is still running when the picture
is taken. Usage: screenshot-web.py PORTFILE  (writes the chosen port to PORTFILE).
"""
import http.server
import random
import re
import socketserver
import sys
import time
import urllib.parse

AREA_CODES = ["212", "312", "415", "305", "617", "713", "206", "404", "303", "602",
              "214", "503", "619", "702", "215", "313", "612", "504", "816", "919"]
STREETS = ["Main Street", "Harbor Road", "Oak Avenue", "Market Street", "Elm Drive"]


def result_page(terms, offset):
    words = [w for w in re.split(r"[+ ]", urllib.parse.unquote_plus(terms)) if w and w != "fax"]
    trade = words[0] if words else "company"
    place = "".join(words[1:3]) or "city"
    links = []
    if offset == 0:
        for i in range(1, 121):
            links.append("http://www.%s%s%d.com/" % (trade, place, i))
    rows = "\n".join('<li><a href="%s">%s</a> <span>result</span></li>' % (l, l) for l in links)
    return "<html><body><div id=\"res\">\n%s\n</div></body></html>\n" % rows


# Offices abroad: numbers of the drama and example ranges of other countries.
ABROAD = [("London", "+44 20 7946 %04d"), ("Berlin", "+49 30 901820%02d"),
          ("Toronto", "+1 416 555 %04d"), ("Sydney", "+61 2 5550 %04d")]


def site_page(host, path):
    rnd = random.Random(host + path)
    name = host.replace("www.", "").split(".")[0]
    code = rnd.choice(AREA_CODES)
    number = "%s-555-%04d" % (code, rnd.randint(100, 9999))
    links = ['<a href="/contact.htm">Contact us</a>', '<a href="/about.htm">About</a>',
             '<a href="/services/index.htm">Services</a>']
    # The fax as pages write it: on its line, in a table, or labelled after the number.
    layout = rnd.randrange(6)
    if layout < 3:
        fax = "<p>Fax: %s</p>" % number
    elif layout < 5:
        fax = "<table><tr><td>Telephone</td><td>(%s) 555-%04d</td></tr>" \
              "<tr><td>Fax</td><td>%s</td></tr></table>" % (code, rnd.randint(100, 9999), number)
    else:
        fax = "<p>%s (fax)</p>" % number
    if rnd.randrange(5) == 0:
        city, form = rnd.choice(ABROAD)
        fax += "\n<p>Our office in %s &ndash; Telefax %s</p>" % (city, form % rnd.randint(0, 99))
    if rnd.randrange(8) == 0:
        fax += "\n<p>We do not accept unsolicited faxes.</p>"
    body = ("<html><head><title>%s</title></head><body>\n<h1>%s</h1>\n"
            "<p>%d %s</p>\n<p>Phone: (%s) 555-%04d</p>\n%s\n<p>%s</p>\n%s\n"
            % (name, name.title(), rnd.randint(10, 999), rnd.choice(STREETS), code,
               rnd.randint(100, 9999), fax, " | ".join(links),
               "<!-- " + "x" * 12000 + " -->"))
    return body + "</body></html>\n"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        host = self.headers.get("Host", "").split(":")[0].lower()
        if url.path == "/search":
            body = result_page(query.get("q", [""])[0], int(query.get("start", ["0"])[0] or 0))
            self.send(body.encode(), pieces=1)
        elif url.path == "/search/dir":
            body = result_page(query.get("p", [""])[0], int(query.get("b", ["1"])[0] or 1) - 1)
            self.send(body.encode(), pieces=1)
        elif url.path == "/favicon.ico":
            self.send_error(404)
        else:
            time.sleep(random.uniform(0.5, 2.5))
            self.send(site_page(host, url.path).encode(), pieces=6)

    def send(self, body, pieces):
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        step = max(1, len(body) // pieces)
        try:
            for i in range(0, len(body), step):
                self.wfile.write(body[i:i + step])
                self.wfile.flush()
                if pieces > 1:
                    time.sleep(0.4)
        except (BrokenPipeError, ConnectionResetError):
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    with open(sys.argv[1], "w") as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
