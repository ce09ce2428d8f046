#!/usr/bin/env python3
"""A saved queue for `varnel-tool harvest --resume`: one search string, and every line of
QUEUE_FILE (a site as the harvest queues it) in the backlog, in order.

usage: make_queue.py DATABASE QUEUE_FILE SEARCH"""

import sqlite3
import sys
import time


def main():
    database, queue_file, search = sys.argv[1:4]
    db = sqlite3.connect(database)
    db.execute("CREATE TABLE IF NOT EXISTS faxes (fax TEXT, Date TEXT, website TEXT, search TEXT, location TEXT)")
    db.execute("CREATE TABLE IF NOT EXISTS websites (website TEXT, Date TEXT)")
    db.execute("CREATE TABLE IF NOT EXISTS searches (search TEXT)")
    db.execute("INSERT INTO searches (search) VALUES (?)", (search,))
    now = time.strftime("%Y-%m-%d %H:%M:%S")
    for line in open(queue_file):
        if line.strip():
            db.execute("INSERT INTO websites (website, Date) VALUES (?, ?)", (line.strip(), now))
    db.commit()


if __name__ == "__main__":
    main()
