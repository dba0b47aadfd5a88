#!/usr/bin/python3
"""A folder served over http and https on loopback, for HLS playlists and their segments.

Usage: hls_server.py FOLDER CERTIFICATES
Serves the files of FOLDER three times: plain http ("http"), https with a certificate of the
test authority of tls_server.py ("https", trusted through CERTIFICATES/root.pem), https with a
certificate of that authority for another host name ("wronghost") and https with a self-signed
certificate ("selfsigned"). Prints "ready http=PORT https=PORT ..." on one line and serves until
stdin closes.
"""
import functools
import http.server
import os
import ssl
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tls_server  # noqa: E402


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder, chain):
    handler = functools.partial(QuietHandler, directory=folder)
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    httpd.daemon_threads = True
    if chain is not None:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(chain)
        httpd.socket = context.wrap_socket(httpd.socket, server_side=True)
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    return httpd.server_address[1]


def main():
    folder, certificates = sys.argv[1], sys.argv[2]
    chains = tls_server.make_certificates(certificates)
    ports = {"http": serve(folder, None),
             "https": serve(folder, chains["good"][0]),
             "wronghost": serve(folder, chains["wronghost"][0]),
             "selfsigned": serve(folder, chains["selfsigned"][0])}
    print("ready " + " ".join("%s=%d" % item for item in ports.items()), flush=True)
    sys.stdin.read()


if __name__ == "__main__":
    main()
