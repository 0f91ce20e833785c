# An RFC 3161 time-stamp responder on the loopback address for the signing
# test: each POSTed query is answered by `openssl ts -reply` with the TSA
# section of the OpenSSL configuration given. Prints its port, then serves.
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
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

server = http.server.HTTPServer(("127.0.0.1", 0), Responder)
print(server.server_port, flush=True)
server.serve_forever()
