#!/usr/bin/env python3
"""Provider API stand-in of the development host.

HTTPS with the demo deployment's certificate:
  GET /v3/geoip             {"data": {"ip": <caller as seen here>, "iso_code": <country of its network>}}
  GET /feeds/serverinfo.xml the server feed: the development host's three OpenVPN servers (the
                            near one and two far ones), plus a hidden and an offline entry that the
                            client must leave out.
"""

import argparse
import ipaddress
import json
import ssl
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HOME_COUNTRY = "DE"
SERVER_COUNTRY = "NL"

# Networks of the development host and the country they stand for. The tunnel is masqueraded out
# of the VPN server's uplink, so a connected client appears from 198.51.100.0/24.
COUNTRIES = [
    (ipaddress.ip_network("192.0.2.0/24"), HOME_COUNTRY),
    (ipaddress.ip_network("192.168.77.0/24"), HOME_COUNTRY),
    (ipaddress.ip_network("127.0.0.0/8"), HOME_COUNTRY),
    (ipaddress.ip_network("203.0.113.0/24"), HOME_COUNTRY),
    (ipaddress.ip_network("198.51.100.5/32"), HOME_COUNTRY),
    (ipaddress.ip_network("198.51.100.0/24"), SERVER_COUNTRY),
    (ipaddress.ip_network("10.8.0.0/16"), SERVER_COUNTRY),
    (ipaddress.ip_network("fd00:8::/48"), SERVER_COUNTRY),
]

FEED = """<?xml version="1.0" encoding="UTF-8"?>
<zorvoserverList>
  <server name="nl-ams-01" ip="198.51.100.1" city="NL Amsterdam" country="NL" capacity="35" visible="1" status="1"/>
  <server name="nl-rtm-01" ip="198.51.100.2" city="NL Rotterdam" country="NL" capacity="20" visible="0" status="1"/>
  <server name="de-fra-01" ip="198.51.100.3" city="DE Frankfurt" country="DE" capacity="60" visible="1" status="0"/>
  <server name="nl-gro-01" ip="198.51.100.4" city="NL Groningen" country="NL" capacity="35" visible="1" status="1"/>
  <server name="de-ber-01" ip="198.51.100.5" city="DE Berlin" country="DE" capacity="35" visible="1" status="1"/>
</zorvoserverList>
"""


def country_of(address):
    try:
        ip = ipaddress.ip_address(address)
    except ValueError:
        return ""
    if getattr(ip, "ipv4_mapped", None):
        ip = ip.ipv4_mapped
    for network, country in COUNTRIES:
        if ip.version == network.version and ip in network:
            return country
    return ""


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ApiStandIn/1.0"
    # A caller that goes silent (its tunnel went away mid-request) must not hold a thread for ever.
    timeout = 10

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        if path == "/v3/geoip":
            caller = self.client_address[0]
            body = json.dumps({"data": {"ip": caller, "iso_code": country_of(caller)}}).encode()
            self.answer(200, "application/json", body)
        elif path == "/feeds/serverinfo.xml":
            self.answer(200, "text/xml; charset=utf-8", FEED.encode("utf-8"))
        else:
            self.answer(404, "text/plain", b"not found\n")

    def answer(self, status, content_type, body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        sys.stdout.write("%s %s %s\n" % (time.strftime("%Y-%m-%d %H:%M:%S"), self.client_address[0], format % args))
        sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="203.0.113.10")
    parser.add_argument("--port", type=int, default=443)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    options = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(options.cert, options.key)
    server = ThreadingHTTPServer((options.address, options.port), Handler)
    server.daemon_threads = True
    # The handshake in the request's own thread, under its time-out: done in accept() it would let
    # one silent caller stop every other.
    server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print("listening on https://%s:%d" % (options.address, options.port), flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
