# An RFC 3161 time-stamp responder on the loopback address: `openssl ts -reply` with the
# [tsa] section of the OpenSSL configuration given answers each query. Prints its port.
import http.server, subprocess, sys, tempfile

class Responder(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        with tempfile.NamedTemporaryFile() as query:
            query.write(self.rfile.read(int(self.headers["Content-Length"])))
            query.flush()
            reply = subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[1], "-section", "tsa",
                                    "-queryfile", query.name], capture_output=True).stdout
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.end_headers()
        self.wfile.write(reply)

server = http.server.HTTPServer(("127.0.0.1", 0), Responder)
print(server.server_port, flush=True)
server.serve_forever()
