#!/usr/bin/python3
"""HTTPS test servers on loopback, with certificates made on the spot.

Makes a root and an intermediate authority and the server certificates the tests need, writes
root.pem (to trust) and selfsigned.sha256 (its fingerprint, to pin) into DIR, starts one listener
per kind of server and prints "ready ROLE=PORT ..." on one line. It serves until stdin closes.

Paths every server answers (HTTP/1.0, one request per connection):
  /sni            the server name the client sent, or "(none)"
  /big            8 MiB of known bytes with Content-Length
  /cut            Content-Length 1000, then 400 bytes and a close
  /to-http?PORT   a redirect to http://127.0.0.1:PORT/plain
  /pic.bmp        a 4 x 3 picture whose shade changes with every request
  anything else   "secure ROLE"
The listener "plain" speaks plain HTTP: it answers whatever arrives with a 400.
"""
import datetime
import warnings
import hashlib
import os
import socket
import ssl
import sys
import threading

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID
import ipaddress

warnings.simplefilter("ignore", DeprecationWarning)
NOW = datetime.datetime.now(datetime.timezone.utc)
DAY = datetime.timedelta(days=1)


def key():
    return ec.generate_private_key(ec.SECP256R1())


def name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def certificate(subject, subject_key, issuer, issuer_key, ca, dns=(), ips=(), start=None,
                end=None):
    builder = (x509.CertificateBuilder()
               .subject_name(name(subject)).issuer_name(name(issuer))
               .public_key(subject_key.public_key())
               .serial_number(x509.random_serial_number())
               .not_valid_before(start or NOW - DAY).not_valid_after(end or NOW + 30 * DAY)
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    alt = [x509.DNSName(d) for d in dns] + [x509.IPAddress(ipaddress.ip_address(i)) for i in ips]
    if alt:
        builder = builder.add_extension(x509.SubjectAlternativeName(alt), critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def pem(*items):
    out = b""
    for item in items:
        if isinstance(item, x509.Certificate):
            out += item.public_bytes(serialization.Encoding.PEM)
        else:
            out += item.private_bytes(serialization.Encoding.PEM,
                                      serialization.PrivateFormat.TraditionalOpenSSL,
                                      serialization.NoEncryption())
    return out


def make_certificates(folder):
    root_key, mid_key = key(), key()
    root = certificate("Kestrix Test Root", root_key, "Kestrix Test Root", root_key, True)
    mid = certificate("Kestrix Test Intermediate", mid_key, "Kestrix Test Root", root_key, True)
    local = dict(dns=["localhost"], ips=["127.0.0.1", "::1"])
    chains = {}

    def leaf(role, send_intermediate=True, issuer=(mid, mid_key), **kw):
        k = key()
        cert = certificate("test " + role, k, issuer[0].subject.rfc4514_string()[3:], issuer[1],
                           False, **kw)
        chain = [cert, mid] if send_intermediate and issuer[0] is mid else [cert]
        path = os.path.join(folder, role + ".pem")
        with open(path, "wb") as f:
            f.write(pem(k, *chain))
        chains[role] = (path, cert)

    leaf("good", **local)
    leaf("expired", start=NOW - 30 * DAY, end=NOW - DAY, **local)
    leaf("wronghost", dns=["other.example"])
    leaf("nointermediate", send_intermediate=False, **local)
    self_key = key()
    self_cert = certificate("localhost", self_key, "localhost", self_key, False, **local)
    path = os.path.join(folder, "selfsigned.pem")
    with open(path, "wb") as f:
        f.write(pem(self_key, self_cert))
    chains["selfsigned"] = (path, self_cert)
    chains["tls10"] = chains["good"]
    chains["good6"] = chains["good"]
    with open(os.path.join(folder, "root.pem"), "wb") as f:
        f.write(pem(root))
    digest = hashlib.sha256(self_cert.public_bytes(serialization.Encoding.DER)).hexdigest()
    with open(os.path.join(folder, "selfsigned.sha256"), "w") as f:
        f.write(digest)
    return chains


COUNTER = [0]


def picture():
    """A 24-bit 4 x 3 BMP of one shade, a new shade each time."""
    COUNTER[0] += 1
    shade = (COUNTER[0] * 37) & 0xFF
    row = bytes([shade]) * 12
    pixels = row * 3
    header = (b"BM" + (54 + len(pixels)).to_bytes(4, "little") + b"\0\0\0\0" +
              (54).to_bytes(4, "little") + (40).to_bytes(4, "little") + (4).to_bytes(4, "little") +
              (3).to_bytes(4, "little") + (1).to_bytes(2, "little") + (24).to_bytes(2, "little") +
              b"\0" * 24)
    return header + pixels


def big_body():
    """8 MiB whose byte i is (i * 7 + i // 1024) mod 256, built a KiB at a time so that making
    it costs the other tests running beside this server next to no time."""
    row = bytes((7 * j) & 0xFF for j in range(1024))
    shifts = [bytes((x + k) & 0xFF for x in range(256)) for k in range(256)]
    return b"".join(row.translate(shifts[(7169 * k) & 0xFF]) for k in range(8 << 10))


def answer(conn, role, server_name):
    request = b""
    while b"\r\n\r\n" not in request and len(request) < 65536:
        chunk = conn.recv(4096)
        if not chunk:
            return
        request += chunk
    path = request.split(b" ")[1].decode() if b" " in request else "/"
    if path == "/sni":
        body = (server_name or "(none)").encode()
    elif path == "/big":
        body = big_body()
    elif path == "/pic.bmp":
        body = picture()
    elif path == "/cut":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"x" * 400)
        return
    elif path.startswith("/to-http?"):
        port = path.split("?", 1)[1]
        conn.sendall(("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:%s/plain\r\n\r\n"
                      % port).encode())
        return
    else:
        body = ("secure " + role.rstrip("6")).encode()
    conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body)


def serve(listener, context, role):
    while True:
        try:
            raw, _ = listener.accept()
        except OSError:
            return
        if context is None:
            threading.Thread(target=answer_plainly, args=(raw,), daemon=True).start()
        else:
            threading.Thread(target=handle, args=(raw, context, role), daemon=True).start()


def answer_plainly(raw):
    """What a plain HTTP server says to a TLS client hello."""
    try:
        raw.recv(4096)
        raw.sendall(b"HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
    except OSError:
        pass
    finally:
        raw.close()


def remember(sock, server_name, context):
    sock.kestrix_server_name = server_name


def handle(raw, context, role):
    try:
        with context.wrap_socket(raw, server_side=True) as conn:
            answer(conn, role, getattr(conn, "kestrix_server_name", None))
            try:
                conn.unwrap()
            except (ssl.SSLError, OSError):
                pass
    except (ssl.SSLError, OSError):
        pass
    finally:
        raw.close()


def main():
    folder = sys.argv[1]
    chains = make_certificates(folder)
    ports = []
    for role, (path, _) in chains.items():
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(path)
        context.sni_callback = remember
        if role == "tls10":
            context.set_ciphers("DEFAULT:@SECLEVEL=0")
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = ssl.TLSVersion.TLSv1
        family = socket.AF_INET6 if role == "good6" else socket.AF_INET
        listener = socket.socket(family, socket.SOCK_STREAM)
        listener.bind(("::1" if family == socket.AF_INET6 else "127.0.0.1", 0))
        listener.listen(16)
        ports.append("%s=%d" % (role, listener.getsockname()[1]))
        threading.Thread(target=serve, args=(listener, context, role), daemon=True).start()
    plain = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    plain.bind(("127.0.0.1", 0))
    plain.listen(16)
    ports.append("plain=%d" % plain.getsockname()[1])
    threading.Thread(target=serve, args=(plain, None, "plain"), daemon=True).start()
    print("ready " + " ".join(ports), flush=True)
    sys.stdin.read()


if __name__ == "__main__":
    main()
