"""Test certificates for the emulator, made with the `openssl` command.

One CA signs three server certificates: a good one (CN and SAN localhost,
127.0.0.1, ::1), one that expired in 2020, and one for another host name
(wrong.example.test). Everything lives in one state directory and is made
once; later starts reuse the files until the CA or a certificate meant to be
valid has less than 30 days left (a build tree outlives the 825 days of the
server certificates). A lock file serialises emulators that start at the
same moment with the same directory.

Exports: ensure_certs(state_dir) -> dict of paths, expires_within(path, seconds).
"""
import fcntl
import os
import ssl
import subprocess
import time

_CA_CONF = """
[ ca ]
default_ca = ca_default
[ ca_default ]
dir = {dir}
database = {dir}/index.txt
new_certs_dir = {dir}/newcerts
serial = {dir}/serial
default_md = sha256
policy = policy_any
unique_subject = no
copy_extensions = none
[ policy_any ]
commonName = supplied
[ ext_good ]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1, IP:::1
[ ext_wrong ]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:wrong.example.test
"""

# kind -> (common name, extension section, validity arguments)
_SERVERS = {
    "good": ("localhost", "ext_good", ["-days", "825"]),
    "expired": ("localhost", "ext_good",
                ["-startdate", "20200101000000Z", "-enddate", "20200201000000Z"]),
    "wronghost": ("wrong.example.test", "ext_wrong", ["-days", "825"]),
}


# Certificates with less validity left than this are made again.
RENEW_SECONDS = 30 * 86400


def expires_within(path, seconds):
    """True when the certificate in `path` ends within `seconds` from now, or
    cannot be read."""
    try:
        # The standard library's own decoder: no process per emulator start.
        not_after = ssl._ssl._test_decode_cert(path)["notAfter"]
        return ssl.cert_time_to_seconds(not_after) - time.time() < seconds
    except (AttributeError, KeyError, ValueError):
        pass  # no such decoder in this Python: ask openssl
    except (OSError, ssl.SSLError):
        return True
    r = subprocess.run(["openssl", "x509", "-checkend", str(int(seconds)), "-noout", "-in", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return r.returncode != 0


def _run(args, cwd):
    subprocess.run(["openssl"] + args, cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def _ec_key_args():
    return ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]


def ensure_certs(state_dir):
    """Makes (or reuses) the CA and server certificates under state_dir/certs.

    Returns {"ca": path, "<kind>": (cert path, key path) ...} for the kinds
    good, expired and wronghost.
    """
    d = os.path.join(os.path.abspath(state_dir), "certs")
    os.makedirs(d, exist_ok=True)
    paths = {"ca": os.path.join(d, "ca.pem")}
    for kind in _SERVERS:
        paths[kind] = (os.path.join(d, kind + ".pem"), os.path.join(d, kind + ".key"))
    with open(os.path.join(d, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        valid = [paths["ca"]] + [paths[k][0] for k in _SERVERS if k != "expired"]
        if all(os.path.exists(p[0]) for k, p in paths.items() if k != "ca") \
                and os.path.exists(paths["ca"]) \
                and not any(expires_within(p, RENEW_SECONDS) for p in valid):
            return paths
        os.makedirs(os.path.join(d, "newcerts"), exist_ok=True)
        open(os.path.join(d, "index.txt"), "w").close()
        with open(os.path.join(d, "serial"), "w") as f:
            f.write("1000\n")
        with open(os.path.join(d, "ca.cnf"), "w") as f:
            f.write(_CA_CONF.format(dir=d))
        _run(["req", "-x509"] + _ec_key_args() + [
            "-keyout", "ca.key", "-out", "ca.pem", "-days", "3650",
            "-subj", "/CN=Emulator Test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign"], d)
        for kind, (cn, ext, validity) in _SERVERS.items():
            _run(["req", "-new"] + _ec_key_args() + [
                "-keyout", kind + ".key", "-out", kind + ".csr", "-subj", "/CN=" + cn], d)
            _run(["ca", "-batch", "-config", "ca.cnf", "-extensions", ext,
                  "-cert", "ca.pem", "-keyfile", "ca.key", "-notext",
                  "-in", kind + ".csr", "-out", kind + ".pem"] + validity, d)
        return paths
