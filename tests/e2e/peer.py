# python3 peer.py port seconds text...: a raw peer in the room on loopback says each text
# (CP932, each byte one up, a NUL after: the wire's form), then stays the given seconds.
import socket, sys, time
peer = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
for text in sys.argv[3:]:
    peer.sendall(bytes((b + 1) & 255 for b in text.encode("cp932")) + b"\0")
time.sleep(float(sys.argv[2]))
