#!/usr/bin/python3
"""RTSP test cameras on loopback: GStreamer's RTSP server with test patterns.

Starts three servers, one without a password, one asking for Basic and one for Digest
credentials (user "kestrix", password "s3cret"), prints "ready open=PORT basic=PORT digest=PORT"
on one line and serves until stdin closes.

Every server offers these paths; a path's pipeline starts with its first client and is shared by
every client after it, which join it mid-stream as they would join a camera:
  /still.h264    SMPTE RP 219 bars, 320 x 240, 15 frames/s, a key frame every second (H.264)
  /still.h265    the same in H.265
  /still.mjpeg   the same as JPEG pictures (RTP/JPEG)
  /moving.h264   SMPTE 75 % bars scrolling left by 4 pixels a frame (H.264)
  /fresh.h264, /fresh.h265   the same as /still.*, for clients over UDP that start the stream
                 themselves: this version of the server can fail an assertion when a UDP client
                 joins a stream already playing
  /audio         a tone, no video
  /hd0.h264 ... /hd9.h264   the bars at 1280 x 720, 30 frames/s, a key frame every second,
                 at camera bit rate (2 Mbit/s): ten separate cameras
The bars of a path are what `videotestsrc pattern=smpte-rp-219` (or smpte75) draws at that size.
"""
import sys
import threading

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtsp", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtsp, GstRtspServer  # noqa: E402

USER, PASSWORD = "kestrix", "s3cret"


def bars(width, height, rate, pattern="smpte-rp-219", speed=0):
    return ("videotestsrc is-live=true pattern=%s horizontal-speed=%d "
            "! video/x-raw,width=%d,height=%d,framerate=%d/1,format=I420 " %
            (pattern, speed, width, height, rate))


def h264(key_frames, quality=True):
    rate = "pass=qual quantizer=18" if quality else "bitrate=2048"
    return ("! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=%d %s "
            "! rtph264pay name=pay0 pt=96 config-interval=-1" % (key_frames, rate))


PIPELINES = {
    "/still.h264": bars(320, 240, 15) + h264(15),
    "/still.h265": bars(320, 240, 15) +
    "! x265enc tune=zerolatency speed-preset=ultrafast key-int-max=15 qp=20 "
    "! rtph265pay name=pay0 pt=96 config-interval=-1",
    # jpegenc stores the values it is given, and JPEG's are full range: the bars become so first.
    "/still.mjpeg": bars(320, 240, 15) +
    "! videoconvert ! video/x-raw,format=RGB ! videoconvert "
    "! video/x-raw,format=I420,colorimetry=1:4:0:0 ! jpegenc quality=95 "
    "! rtpjpegpay name=pay0 pt=26",
    # RP 219's bars do not scroll; the 75 % bars do.
    "/moving.h264": bars(320, 240, 15, pattern="smpte75", speed=4) + h264(15),
    "/audio": "audiotestsrc is-live=true ! audioconvert ! audioresample "
              "! audio/x-raw,rate=8000,channels=1 ! mulawenc ! rtppcmupay name=pay0 pt=0",
}
PIPELINES["/fresh.h264"] = PIPELINES["/still.h264"]
PIPELINES["/fresh.h265"] = PIPELINES["/still.h265"]
for n in range(10):
    PIPELINES["/hd%d.h264" % n] = bars(1280, 720, 30) + h264(30, quality=False)


def permissions():
    allowed = GstRtspServer.RTSPPermissions()
    allowed.add_permission_for_role("user", "media.factory.access", True)
    allowed.add_permission_for_role("user", "media.factory.construct", True)
    return allowed


def server(method):
    rtsp = GstRtspServer.RTSPServer()
    rtsp.set_address("127.0.0.1")
    rtsp.set_service("0")
    if method is not None:
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string("media.factory.role", "user")
        if method == "basic":
            auth.add_basic(GstRtspServer.RTSPAuth.make_basic(USER, PASSWORD), token)
            auth.set_supported_methods(GstRtsp.RTSPAuthMethod.BASIC)
        else:
            auth.add_digest(USER, PASSWORD, token)
            auth.set_supported_methods(GstRtsp.RTSPAuthMethod.DIGEST)
        rtsp.set_auth(auth)
    mounts = rtsp.get_mount_points()
    for path, pipeline in PIPELINES.items():
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch("( " + pipeline + " )")
        factory.set_shared(True)
        if method is not None:
            factory.set_permissions(permissions())
        mounts.add_factory(path, factory)
    rtsp.attach(None)
    return rtsp


def main():
    Gst.init(None)
    loop = GLib.MainLoop()
    servers = {name: server(None if name == "open" else name)
               for name in ("open", "basic", "digest")}
    ports = " ".join("%s=%d" % (name, s.get_bound_port()) for name, s in servers.items())
    print("ready " + ports, flush=True)

    def wait_for_stdin():
        sys.stdin.read()
        GLib.idle_add(loop.quit)

    threading.Thread(target=wait_for_stdin, daemon=True).start()
    loop.run()


if __name__ == "__main__":
    main()
