#!/usr/bin/env python3
"""Reads mail messages (files named on the command line) the way a mail program would and
prints, as JSON, one description per message: every MIME part's type, defects, Content-ID
and decoded bytes (base64), and for HTML parts what an HTML5 parser found (strict: any parse
error is reported) and what a mail program must not meet (scripts, event handlers, anything
fetched from elsewhere)."""
import base64
import email
import email.policy
import json
import re
import sys

import html5lib


def html_facts(text):
    facts = {"error": "", "lang": "", "images": [], "links": [], "scripts": 0, "remote": [], "handlers": [],
             "viewport": False, "text": ""}
    try:
        tree = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(text)
    except html5lib.html5parser.ParseError as e:
        facts["error"] = str(e)
        return facts
    facts["lang"] = tree.get("lang", "")
    for el in tree.iter():
        tag = el.tag if isinstance(el.tag, str) else ""
        if tag in ("script", "iframe", "object", "embed", "link", "form"):
            facts["scripts"] += 1
        if tag == "img":
            facts["images"].append(el.get("src", ""))
        if tag == "a":
            facts["links"].append(el.get("href", ""))
        if tag == "meta" and el.get("name") == "viewport":
            facts["viewport"] = True
        for name, value in el.attrib.items():
            if name.lower().startswith("on"):
                facts["handlers"].append(name)
            if name.lower() in ("src", "background") and not value.startswith("cid:"):
                facts["remote"].append(value)
            if name.lower() == "style" and re.search(r"url\s*\(|expression\s*\(|@import", value, re.I):
                facts["remote"].append(value)
    body = tree.find("body")
    facts["text"] = "".join(body.itertext()) if body is not None else ""
    return facts


def describe(raw):
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    parts = []
    for part in msg.walk():
        info = {"type": part.get_content_type(), "defects": [type(d).__name__ for d in part.defects],
                "cid": part.get("Content-ID", ""), "charset": part.get_content_charset() or "",
                "cte": part.get("Content-Transfer-Encoding", "")}
        if not part.is_multipart():
            payload = part.get_payload(decode=True) or b""
            info["bytes"] = base64.b64encode(payload).decode("ascii")
            if info["type"] == "text/html":
                info["html"] = html_facts(payload.decode(info["charset"] or "ascii"))
        else:
            info["params"] = dict(part.get_params() or [])
        parts.append(info)
    return {"defects": [type(d).__name__ for d in msg.defects], "parts": parts}


if __name__ == "__main__":
    out = []
    for path in sys.argv[1:]:
        with open(path, "rb") as f:
            out.append(describe(f.read()))
    json.dump(out, sys.stdout)
