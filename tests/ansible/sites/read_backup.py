# -*- coding: utf-8 -*-
# Reads a simulated module's settings backup through its web interface (login, backup, logout),
# as an observer of its own beside the configurator, and prints the settings as JSON.
#
#   read_backup.py ADDRESS USER PASSWORD
# Runs inside the site's network namespace.

import json
import sys
import urllib.parse
import urllib.request
import xml.etree.ElementTree as ElementTree
from http.cookiejar import CookieJar


def main():
    address, user, password = sys.argv[1:]
    base = "http://%s/" % address
    # No proxy: the module is on this namespace's loopback.
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}),
                                         urllib.request.HTTPCookieProcessor(CookieJar()))
    opener.open(base + "login.htm", timeout=10).read()
    body = urllib.parse.urlencode({"username": user, "password": password}).encode()
    opener.open(base + "Forms/login_1", data=body, timeout=10).read()
    document = opener.open(base + "FS/CFG/backup.cfg", timeout=10).read()
    opener.open(base + "admin/logout.htm", timeout=10).read()
    settings = {}
    for section in ElementTree.fromstring(document):
        for item in section:
            settings["%s.%s" % (section.tag, item.tag)] = item.text or ""
    json.dump(settings, sys.stdout, sort_keys=True)


if __name__ == "__main__":
    main()
