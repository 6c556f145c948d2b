#!/usr/bin/python3
"""A stand-in browser for the cloud client's sign-in, run by xdg-open as $BROWSER.

fake_browser.py URL

Opens URL over HTTPS trusting FAKE_BROWSER_CA and follows one redirect to the local
callback as a browser would: it asks for /favicon.ico first, opens an idle
connection first when FAKE_BROWSER_PRECONNECT is set, sends the address without its
fragment, and when there is a fragment, checks that the page's script asks for
"/ck?" + the fragment and does so. Each step is appended to FAKE_BROWSER_LOG.
"""
import http.client
import os
import socket
import ssl
import sys
import time
import urllib.parse

PAGE_SCRIPT = "'/ck?'+location.hash.substring(1)"


def log(line):
    with open(os.environ["FAKE_BROWSER_LOG"], "a", encoding="utf-8") as f:
        f.write(line + "\n")


def get(host, port, path):
    conn = http.client.HTTPConnection(host, port, timeout=10)
    conn.request("GET", path)
    r = conn.getresponse()
    body = r.read().decode("utf-8", "replace")
    conn.close()
    return r.status, body


def main():
    url = sys.argv[1]
    log("opened " + url)
    context = ssl.create_default_context(cafile=os.environ["FAKE_BROWSER_CA"])
    start = urllib.parse.urlsplit(url)
    conn = http.client.HTTPSConnection(start.hostname, start.port, context=context, timeout=10)
    conn.request("GET", start.path + ("?" + start.query if start.query else ""))
    r = conn.getresponse()
    r.read()
    location = r.getheader("Location")
    conn.close()
    if r.status not in (301, 302, 303, 307) or not location:
        log("no redirect %d" % r.status)
        return 0
    target = urllib.parse.urlsplit(location)
    host, port = target.hostname, target.port
    idle = None
    if os.environ.get("FAKE_BROWSER_PRECONNECT"):
        idle = socket.create_connection((host, port))
        time.sleep(0.2)
    status, _ = get(host, port, "/favicon.ico")
    log("favicon %d" % status)
    status, page = get(host, port, target.path + ("?" + target.query if target.query else ""))
    log("callback %d" % status)
    if target.fragment:
        if PAGE_SCRIPT not in page:
            log("page lacks the script")
            return 3
        status, _ = get(host, port, "/ck?" + target.fragment)
        log("script %d" % status)
    if idle:
        idle.close()
    log("done")
    return 0


if __name__ == "__main__":
    sys.exit(main())
