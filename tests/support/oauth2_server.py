#!/usr/bin/env python3
"""A local OAuth2 authorization server for the sign-in tests.

    python3 oauth2_server.py      prints "ready PORT" once it listens on 127.0.0.1

Every endpoint of a flow lives under a mode, so one providers-file section
picks a behaviour: http://127.0.0.1:PORT/<mode>/{devicecode,token,authorize}.
  ok          as a provider behaves
  slow        the token endpoint answers slow_down once per device code
  malformed   the device and token answers are not JSON
  huge        the device and token answers are 64 MiB of JSON
  stall       the device and token endpoints never answer
  wrongstate  the authorization redirect carries another state
  short       access tokens live one second
What the user does in the browser, and what tests need beside it:
  POST /approve user_code, user    POST /decline user_code
  POST /introspect token           (RFC 7662, for Dovecot's oauth2 passdb)
  POST /mint user [expires_in]     a token pair without a flow
  POST /revoke user                every token of user stops working
  GET  /log                        the requests so far: path and form fields
"""
import base64
import hashlib
import http.server
import json
import secrets
import sys
import threading
import time
import urllib.parse

lock = threading.Lock()
devices = {}   # device_code -> {"user_code", "user", "state": pending|approved|declined, "expires", "slowed"}
codes = {}     # authorization code -> {"user", "challenge", "redirect_uri"}
access = {}    # access token -> {"user", "expires"}
refresh = {}   # refresh token -> user
log = []


def issue(user, lifetime=3600):
    token, again = secrets.token_urlsafe(24), secrets.token_urlsafe(24)
    access[token] = {"user": user, "expires": time.time() + lifetime}
    refresh[again] = user
    return {"access_token": token, "token_type": "Bearer", "expires_in": lifetime,
            "refresh_token": again, "scope": "mail"}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        data = body if isinstance(body, bytes) else json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def error(self, code):
        self.reply(400, {"error": code})

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        with lock:
            log.append({"path": url.path, "form": query})
        if url.path == "/log":
            with lock:
                return self.reply(200, log)
        mode, _, endpoint = url.path.strip("/").partition("/")
        if endpoint != "authorize":
            return self.reply(404, {"error": "not_found"})
        if query.get("code_challenge_method") != "S256" or "redirect_uri" not in query:
            return self.error("invalid_request")
        code = secrets.token_urlsafe(16)
        with lock:
            codes[code] = {"user": query.get("login_hint", "user"),
                           "challenge": query.get("code_challenge", ""),
                           "redirect_uri": query["redirect_uri"]}
        state = "not-" + query.get("state", "") if mode == "wrongstate" else query.get("state", "")
        target = query["redirect_uri"] + "?" + urllib.parse.urlencode({"code": code, "state": state})
        self.reply(302, b"", [("Location", target)])

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
        url = urllib.parse.urlsplit(self.path)
        with lock:
            log.append({"path": url.path, "form": form})
            mode, _, endpoint = url.path.strip("/").partition("/")
            if not endpoint:
                return self.control(mode, form)
        if mode == "stall":
            threading.Event().wait()
        if mode == "malformed":
            return self.reply(200, b"<html>not json")
        if mode == "huge":
            return self.reply(200, b'{"x":"' + b"a" * (64 << 20) + b'"}')
        with lock:
            if endpoint == "devicecode":
                device = secrets.token_urlsafe(16)
                user_code = secrets.token_hex(4).upper()
                devices[device] = {"user_code": user_code, "user": None, "state": "pending",
                                   "expires": time.time() + 900, "slowed": mode != "slow"}
                host = self.headers.get("Host", "127.0.0.1")
                return self.reply(200, {"device_code": device, "user_code": user_code,
                                        "verification_uri": f"http://{host}/device",
                                        "expires_in": 900, "interval": 1})
            if endpoint == "token":
                return self.token(form, 1 if mode == "short" else 3600)
        self.reply(404, {"error": "not_found"})

    def token(self, form, lifetime):
        grant = form.get("grant_type", "")
        if grant == "urn:ietf:params:oauth:grant-type:device_code":
            device = devices.get(form.get("device_code", ""))
            if device is None:
                return self.error("invalid_grant")
            if time.time() > device["expires"]:
                return self.error("expired_token")
            if not device["slowed"]:
                device["slowed"] = True
                return self.error("slow_down")
            if device["state"] != "approved":
                return self.error({"pending": "authorization_pending",
                                   "declined": "access_denied"}[device["state"]])
            del devices[form["device_code"]]
            return self.reply(200, issue(device["user"], lifetime))
        if grant == "authorization_code":
            code = codes.pop(form.get("code", ""), None)
            verifier = form.get("code_verifier", "").encode()
            challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=")
            if (code is None or challenge.decode() != code["challenge"]
                    or form.get("redirect_uri") != code["redirect_uri"]):
                return self.error("invalid_grant")
            return self.reply(200, issue(code["user"], lifetime))
        if grant == "refresh_token":
            user = refresh.pop(form.get("refresh_token", ""), None)
            if user is None:
                return self.error("invalid_grant")
            return self.reply(200, issue(user, lifetime))
        self.error("unsupported_grant_type")

    def control(self, what, form):
        if what in ("approve", "decline"):
            for device in devices.values():
                if device["user_code"] == form.get("user_code"):
                    device["state"] = "approved" if what == "approve" else "declined"
                    device["user"] = form.get("user")
                    return self.reply(200, {})
            return self.reply(404, {"error": "no_such_code"})
        if what == "introspect":
            token = access.get(form.get("token", ""))
            if token is None or time.time() > token["expires"]:
                return self.reply(200, {"active": False})
            return self.reply(200, {"active": True, "username": token["user"]})
        if what == "mint":
            return self.reply(200, issue(form.get("user", "user"), int(form.get("expires_in", 3600))))
        if what == "revoke":
            for table in (access, refresh):
                for key in [k for k, v in table.items() if v == form.get("user") or
                            isinstance(v, dict) and v["user"] == form.get("user")]:
                    del table[key]
            return self.reply(200, {})
        self.reply(404, {"error": "not_found"})


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print("ready", server.server_address[1], flush=True)
server.serve_forever()
