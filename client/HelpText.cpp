#include "ClientOptions.h"

namespace lumivane::client {

const char* helpText() {
    return R"(lumivane-client: find a Lumivane host, list its windows, stream one, and talk back
to it the way a headset does.

Usage:
  lumivane-client discover [--host ADDR] [--broadcast] [options]
  lumivane-client list     [--host ADDR] [--port N] [--icons DIR] [options]
  lumivane-client stream   (--window ID | --title TEXT)... [options]
  lumivane-client --help

Commands:
  discover   Ask for hosts over UDP. By default the request goes only to --host; with
             --broadcast it goes to the whole local network (255.255.255.255).
  list       Connect, say hello, and print the host's windows as a table (id in hex,
             title, process, size, whether it has an icon).
  stream     Stream one window, or several at once: receive stream_config and video,
             decode it, print statistics every second per stream, send feedback,
             input and requests, then stop.

Finding the host:
  --host ADDR            host address or name (default 127.0.0.1)
  --port N               signalling (WebSocket) port (default 9876)
  --discover             list/stream: learn the signalling port by discovery first
  --broadcast            discovery goes to the whole network instead of --host
  --discovery-port N     UDP discovery port (default 9877)
  --name NAME            client name sent in discovery and "hello" (default lumivane-client)
  --timeout MS           longest wait for a connection or an answer (default 5000)

Output:
  --json                 one JSON object per line, each with an "event" key
  --verbose              also print every keyframe and input command
  --icons DIR            save each window's icon as DIR/<id>.png

Choosing the windows and the length of the run (stream):
  --window ID            the window id in hexadecimal, as the list shows it (0x optional)
  --title TEXT           a window whose title is TEXT, or the only one containing it
                         (ASCII case ignored)
                         Repeat either to stream several windows in one session; they
                         start in the order given, each with its own stream id,
                         statistics and checks.
  --frames N             stop once every stream has N decoded pictures
  --seconds S            stop after S seconds of streaming
  --idle-timeout MS      fail when a stream gets no video for MS (off by default: a window
                         that does not change sends nothing, so --frames alone may wait
                         for ever; add --seconds to bound a run)
                         Without --frames or --seconds the stream runs until Ctrl-C.

Pictures and sound (stream):
  --save DIR             save decoded pictures as PNG: DIR/frame-000001.png ...; with
                         several windows DIR/window1/..., DIR/window2/... in their order
  --every N              save every Nth picture (default 1)
  --audio-out FILE.wav   write the decoded audio as 48 kHz stereo 16-bit WAV
  --no-audio             do not connect the audio port

Feedback (stream; sent on the video connection, drives the host's bitrate):
  --feedback-rtt MS      round-trip time to report (default: measured with ping)
  --feedback-decode MS   decode time to report (default: measured)
  --feedback SCHEDULE    values that change over time, seconds since stream_started:
                         "0-5s rtt=80, 5-20s rtt=5 decode=2, 20- rtt=1"
                         (the first matching range wins; outside every range the two
                         options above, or the measurements, apply)
  --feedback-interval MS how often (default 1000)
  --no-feedback          send none
  The host lowers the bitrate while rtt > 50 or decode > 30 and raises it again while
  rtt < 20 and decode < 15, at most once a second.

Input (stream; starts once the first picture is decoded):
  --input FILE           run the input script in FILE
  --input-script TEXT    run this script; statements end at a new line or ';'
                         With several windows: one script plays on each window, or
                         give one per window (--input/--input-script repeated, in the
                         windows' order). Each starts at its window's first picture.
  --input-channel C      'input' (default: the input port) or 'video' (records on the
                         video connection; characters limited to 8 bits)
  Script statements:
    move X Y             pointer to pixel (X, Y) of the window, or to percentages: 50% 50%
    click [BUTTON]       press and release at the pointer: left (default), right,
                         middle, x1, x2, or 0-4
    down [BUTTON]        press only;  up [BUTTON]  release only
    wheel DELTA          wheel at the pointer; 120 is one notch away from the user
    key KEY              press and release a key: a name (enter, tab, esc, space,
                         backspace, delete, home, end, pageup, pagedown, left, up, right,
                         down, f1-f24...), a letter or digit, or a virtual-key code (65,
                         0x41); modifiers first: ctrl+shift+t, alt+f4
    type "TEXT"          types each character (UTF-8; \" and \\ inside the quotes)
    wait MS              pause
    # ...                comment

Requests (stream):
  --resize WxH           once a window's first picture is decoded, ask the host to resize
                         it; the answer and the stream_config that follows are printed
  --request-keyframe S   ask for a keyframe of each stream every S seconds (over signalling)
  --stats-interval MS    statistics period (default 1000)

What it checks while streaming: stream_config must arrive before the first keyframe of
the stream and before the first keyframe at a new size; packet headers must follow the
protocol. A breach is printed as PROTOCOL VIOLATION and sets exit status 6 at the end.
More in docs/client.md (also the --json events).
Latency is the age of each packet's host timestamp; it is shown only when the host runs
on this machine (the clocks are the same there).

Exit status:
  0 success            3 host not reachable, no answer in time, or connection lost
  1 local failure      4 window not found        6 protocol violation
  2 bad command line   5 stream refused by host  7 no first picture in time, or no
                                                   video for --idle-timeout

Examples:
  lumivane-client discover
  lumivane-client discover --broadcast --timeout 2000
  lumivane-client list --host 192.168.1.20 --icons /tmp/icons
  lumivane-client stream --title Firefox --seconds 10
  lumivane-client stream --window 3a00007 --frames 100 --save /tmp/frames --every 25
  lumivane-client stream --title xterm --seconds 30 --audio-out /tmp/sound.wav
  lumivane-client stream --title xterm --seconds 25 --feedback "0-10 rtt=80, 10- rtt=5"
  lumivane-client stream --title gedit --seconds 5 \
      --input-script 'move 50% 50%; click; type "hello"; key enter; key ctrl+s'
  lumivane-client stream --title xterm --seconds 5 --resize 800x600 --json
  lumivane-client stream --title Firefox --title xterm --seconds 10 \
      --input-script 'click; type "a"' --input-script 'click; type "b"'
)";
}

}  // namespace lumivane::client
