#!/usr/bin/env python3
"""Parses a form body with Python's own parsers, as a server would.

As a program: form_parser.py CONTENT-TYPE < body, prints the JSON of parse().
multipart/form-data goes through the standard email package, URL-encoded forms
through urllib.parse.parse_qsl. Every value comes back as hex of its bytes.
"""
import email.parser
import email.policy
import json
import sys
import urllib.parse


def parse(content_type, body):
    if content_type.lower().startswith("multipart/form-data"):
        message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
            b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body)
        if not message.is_multipart():
            return {"error": "not multipart"}
        parts = []
        for part in message.iter_parts():
            parts.append({
                "headers": ["%s: %s" % (k, v) for k, v in part.items()],
                "name": part.get_param("name", header="content-disposition"),
                "filename": part.get_filename(),
                "type": part.get_content_type(),
                "charset": part.get_param("charset"),
                "encoding": part.get("Content-Transfer-Encoding"),
                "data": (part.get_payload(decode=True) or b"").hex(),
            })
        return {"parts": parts, "defects": [str(d) for d in message.defects]}
    pairs = urllib.parse.parse_qsl(body.decode("ascii"), keep_blank_values=True,
                                   strict_parsing=bool(body), encoding="latin-1")
    return {"pairs": [[name.encode("latin-1").hex(), value.encode("latin-1").hex()]
                      for name, value in pairs]}


if __name__ == "__main__":
    print(json.dumps(parse(sys.argv[1], sys.stdin.buffer.read())))
