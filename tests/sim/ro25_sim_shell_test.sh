#!/usr/bin/env bash
# ro25-sim started from a shell, and a second process that talks to it only
# through the paths it prints: the driver socket, the serial line and the
# power notification socket.
set -euo pipefail
sim="$1"
work=$(mktemp -d)
pid=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    echo "--- ro25-sim said:"
    cat "$work/out"
    exit 1
}

# --help is asked for: the usage on standard output, status 0; a bad argument
# is an error: the usage on standard error, status 2.
"$sim" --help >"$work/out" 2>"$work/err" || fail "--help ended with status $?"
grep -q '^usage: ro25-sim' "$work/out" || fail "--help printed no usage on standard output"
[ ! -s "$work/err" ] || fail "--help wrote to standard error"
status=0
"$sim" --no-such-option >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "a bad argument ended with status $status"
grep -q '^usage: ro25-sim' "$work/err" || fail "a bad argument printed no usage on standard error"

echo "code39 FROM-A-FILE" > "$work/barcodes"
mkfifo "$work/in"
"$sim" --barcodes "$work/barcodes" --env-file "$work/env" <"$work/in" >"$work/out" 2>&1 &
pid=$!
exec 3>"$work/in"  # the console stays open while this script runs

for _ in $(seq 100); do [ -f "$work/env" ] && break; sleep 0.1; done
[ -f "$work/env" ] || fail "no environment file"
grep -q '^QV_PORT_COM2=/dev/pts/' "$work/out" || fail "no QV_PORT_COM2 line"
grep -q '^QV_DRIVER_BAR1=unix:/' "$work/out" || fail "no QV_DRIVER_BAR1 line"
grep -q '^QV_POWER_NOTIFY=unix:/' "$work/out" || fail "no QV_POWER_NOTIFY line"
set -a
. "$work/env"
set +a

# The second process: power on, wake pulse, the test command, trigger.
stty -F "$QV_PORT_COM2" raw -echo 57600
perl -e '
use strict; use IO::Socket::UNIX; use Fcntl; use Time::HiRes qw(time);
my ($driver) = $ENV{QV_DRIVER_BAR1} =~ /^unix:(.*)$/;
my $bar1 = IO::Socket::UNIX->new(Type => SOCK_STREAM, Peer => $driver) or die "driver: $!";
sub request {
    my ($code, $value) = @_;
    print $bar1 pack("VVVV", $code, 4, 0, $value);
    my $got = ""; read($bar1, $got, 8) == 8 or die "no driver reply";
    my ($result) = unpack("VV", $got);
    $result or die "driver refused request $code";
}
sysopen(my $line, $ENV{QV_PORT_COM2}, O_RDWR | O_NOCTTY) or die "line: $!";
binmode $line;
sub read_for {
    my ($seconds) = @_;
    my $all = ""; my $rin = ""; vec($rin, fileno($line), 1) = 1;
    my $end = time + $seconds;
    while (time < $end) {
        my $r = $rin;
        next unless select($r, undef, undef, 0.2);
        my $chunk; sysread($line, $chunk, 4096) and $all .= $chunk;
    }
    return unpack("H*", $all);
}
request(2, 1); request(6, 5); request(6, 4);
syswrite($line, pack("C*", 0x02, 0x12, 0x41, 0x70, 0x40, 0x02, 0x61, 0x04, 0x96, 0x03));
my $answer = read_for(1);
$answer =~ /^0212060003021151/ or die "no ACK and RESULT: $answer";
request(7, 6);
my $barcode = read_for(2);
# Code 39 with the factory code-ID H: nobody initialised the engine.
$barcode =~ /^02..60000c4846524f4d2d412d46494c45/ or die "no barcode: $barcode";
print "line ok\n";
' || fail "the line and the driver"

# Power notifications reach a listener.
perl -e '
use strict; use IO::Socket::UNIX;
my ($path) = $ENV{QV_POWER_NOTIFY} =~ /^unix:(.*)$/;
my $s = IO::Socket::UNIX->new(Type => SOCK_STREAM, Peer => $path) or die "power: $!";
{ open(my $mark, ">", $ARGV[0]) or die "mark: $!"; close($mark); }
local $SIG{ALRM} = sub { die "no notification\n" }; alarm 10;
my $got = ""; read($s, $got, 4 + 12) == 16 or die "short notification";
my ($length, $kind, $flags) = unpack("VVV", $got);
$kind == 1 && $flags == 0x00200000 or die sprintf("kind %d flags 0x%08X", $kind, $flags);
print "power ok\n";
' "$work/listening" &
reader=$!
for _ in $(seq 100); do [ -f "$work/listening" ] && break; sleep 0.1; done
sleep 0.3
echo "suspend" >&3
wait "$reader" || fail "the power notification"

echo "quit" >&3
exec 3>&-
wait "$pid" || fail "ro25-sim did not end cleanly"
pid=""
[ ! -e "${QV_DRIVER_BAR1#unix:}" ] || fail "socket file left behind"
echo "ro25-sim from a shell: ok"
