#!/usr/bin/env python3
"""quillon-dump --json against quillon-dump's console report of the same raw log: every JSON line must parse
with Python's json (strictly: no NaN, no repeated name) and agree with the console's report of its frame; --aprs
adds one line to the report of each frame with an "aprs" object and changes nothing else; --tnc2 gives each frame
its header and payload as the JSON line has them. Then the same for a log of random frames, whose every byte may
come from the air, against what was written.
    json_log_check.py QUILLON_DUMP LOG.kss"""
import json, math, os, random, re, subprocess, sys, tempfile

dump, log = sys.argv[1:3]
errors = []

def tnc2(j):
    """The TNC2 line of a frame's JSON line: the "*" behind the last repeated digipeater, CR and LF as "."."""
    digis, last = j['digipeaters'], max([i for i, d in enumerate(j['digipeaters']) if d['repeated']], default=-1)
    path = ''.join(f",{d['call']}{'*' if i == last else ''}" for i, d in enumerate(digis) if d['call'])
    line = bytes(BYTE[c] for c in f"{j['source']}>{j['destination']}{path}:") + bytes.fromhex(j['payload_hex'])
    return line.replace(b'\r', b'.').replace(b'\n', b'.')

def check_aprs_and_tnc2(name, lines):
    """--aprs and --tnc2 against the JSON lines of the same log."""
    plain = run('--color=never').split(b'\n')
    with_aprs = run('--color=never', '--aprs').split(b'\n')
    added = [line for line in with_aprs if line.startswith(b'APRS ')]
    if [line for line in with_aprs if not line.startswith(b'APRS ')] != plain:
        errors.append(f'{name}: --aprs changes the report besides its APRS lines')
    check(0, f'{name}: APRS lines', len(added), sum('aprs' in j for j in lines))
    got, expected = run('--tnc2').split(b'\n')[:-1], [tnc2(j) for j in lines if 'source' in j]
    wrong = [(g, e) for g, e in zip(got, expected) if g != e]
    if len(got) != len(expected) or wrong:
        errors.append(f'{name}: {len(got)} --tnc2 lines for {len(expected)} frames, {len(wrong)} wrong: {wrong[:1]}')

def run(*options):
    return subprocess.run([dump, *options, log], capture_output=True, check=True).stdout

def strict_object(pairs):
    names = [name for name, _ in pairs]
    if len(set(names)) != len(names):
        raise ValueError(f'a name twice in {names}')
    return dict(pairs)

def refuse(constant):
    raise ValueError(f'not JSON: {constant}')

def json_lines(*options):
    out = run('--json', *options).decode('utf-8')  # strict: invalid UTF-8 raises
    if not out.endswith('\n'):
        errors.append(f'--json {options}: the output does not end with a line end')
    return [json.loads(line, object_pairs_hook=strict_object, parse_constant=refuse) for line in out[:-1].split('\n')]

# The code page, byte by byte; the five bytes it leaves undefined are their Latin-1 characters.
CHARACTER = [bytes([b]).decode('cp1252', errors='ignore') or chr(b) for b in range(256)]
BYTE = {c: b for b, c in enumerate(CHARACTER)}
TYPES = {0x00: 'KISS Frame (without CRC)', 0x80: 'SMACK Frame (with CRC)', 0x09: 'TIME Frame'}

def shown(text):
    """The text as quillon-dump prints it: every control character a dot."""
    return ''.join('.' if ord(c) < 0x20 or 0x7F <= ord(c) < 0xA0 else c for c in text)

HEADER = re.compile(r'(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) UTC: \[(\d+) Bytes (.*)\]')
CONTROL = re.compile(r'ctrl: (\d+)   PID: (--|[0-9A-F]{1,2}) \{(.*)\}   (-?\d+) Payload Bytes')

def console_reports():
    lines, reports, i = run('--color=never').decode('utf-8').split('\n'), [], 0
    while i < len(lines):
        header = HEADER.fullmatch(lines[i])
        if not header:
            i += 1
            continue
        control = CONTROL.fullmatch(lines[i + 1])
        count = max(int(control[4]), 0)
        hex_lines = lines[i + 3:i + 3 + math.ceil(count / 20)]
        reports.append({'time': header[1], 'length': int(header[2]), 'type': header[3],
                        'control_byte': int(control[1]), 'pid': control[2], 'control': control[3], 'count': count,
                        'address': lines[i + 2], 'hex': ' '.join(l.split(' > ', 1)[1].strip() for l in hex_lines),
                        'text': lines[i + 3 + len(hex_lines)]})
        i += 4 + len(hex_lines)
    return reports

def check(n, name, got, expected):
    if got != expected:
        errors.append(f'frame {n}: {name} {got!r} in the JSON line, {expected!r} in the console report')

reports, decoded, raw = console_reports(), json_lines(), json_lines('--raw')
if not reports or len(decoded) != len(reports) or len(raw) != len(reports):
    errors.append(f'{len(reports)} console reports, {len(decoded)} JSON lines, {len(raw)} of them raw')
for n, (r, j, k) in enumerate(zip(reports, decoded, raw), 1):
    check(n, 'time', j['time'], r['time'].replace(' ', 'T') + 'Z')
    for name in ('length', 'type', 'control', 'control_byte'):
        check(n, name, j[name], r[name])
    check(n, 'type of the command byte', TYPES.get(j['port'] * 16 + j['command'], 'unknown Protocol'), r['type'])
    check(n, 'pid', j['pid'], None if r['pid'] == '--' else int(r['pid'], 16))
    check(n, 'payload_hex', j['payload_hex'], r['hex'])
    payload = bytes.fromhex(j['payload_hex'])
    check(n, 'payload length', len(payload), r['count'])
    check(n, 'payload_text', shown(j['payload_text']), r['text'])
    check(n, 'payload_text as bytes', bytes(BYTE[c] for c in j['payload_text']), payload)
    calls = [d['call'] + ('*' if d['repeated'] else '') for d in j['digipeaters']]
    via = ' via ' + ','.join(c for c in calls if c) if calls and calls[0] else ''
    check(n, 'addresses', shown(f"from {j['source']} to {j['destination']}{via}: "), r['address'])
    check(n, 'raw line', k, {name: j[name] for name in ('time', 'port', 'command', 'type', 'length')})
    check(n, 'aprs object', 'aprs' in j, r['control'] in ('UI', 'UI!') and r['pid'] == 'F0')
check_aprs_and_tnc2('sample', decoded)

# Random frames, each behind a time frame: any byte but FEND, escapes and broken escapes among them.
rnd, written = random.Random(868), []
with tempfile.NamedTemporaryFile(suffix='.kss', delete=False) as random_log:
    for n in range(3000):
        stamp = f'2013-07-28 {n // 3600 % 24:02}:{n // 60 % 60:02}:{n % 60:02}.{rnd.randrange(1000):03}'
        body = bytes(rnd.choice((0xDB, 0xDC, 0xDD, 0x0D, 0x22, 0x5C, rnd.randrange(256))) if rnd.random() < 0.2
                     else rnd.randrange(256) for _ in range(rnd.randrange(1, rnd.choice((20, 80, 500)))))
        frame = b'\xc0' + body.replace(b'\xc0', b'\xdb\xdc') + b'\xc0'
        random_log.write(b'\xc0\x09' + stamp.encode() + b' UTC\xc0' + frame)
        written.append((stamp, frame))
log = random_log.name
try:
    decoded, raw = json_lines(), json_lines('--raw')
    check_aprs_and_tnc2('random', decoded)
finally:
    os.unlink(log)
if len(decoded) != len(written) or len(raw) != len(written):
    errors.append(f'{len(written)} random frames, {len(decoded)} JSON lines, {len(raw)} of them raw')
for n, ((stamp, frame), j, k) in enumerate(zip(written, decoded, raw), 1):
    head = {'time': stamp.replace(' ', 'T') + 'Z', 'port': frame[1] >> 4, 'command': frame[1] & 15,
            'type': TYPES.get(frame[1], 'unknown Protocol'), 'length': len(frame)}
    check(n, 'random raw line', k, head)
    check(n, 'random frame', {name: j[name] for name in head}, head)
    if j.get('damaged'):
        check(n, 'random damaged frame', j, dict(head, damaged=True))
        continue
    payload = bytes.fromhex(j['payload_hex'])
    check(n, 'random payload_text as bytes', bytes(BYTE[c] for c in j['payload_text']), payload)
    if b'\xdb' not in frame:  # no escapes: the payload ends the frame
        check(n, 'random payload at the end of the frame', frame[:-1].endswith(payload), True)
    check(n, 'random digipeaters', len(j['digipeaters']) <= 9 and all(
        isinstance(d['call'], str) and isinstance(d['repeated'], bool) for d in j['digipeaters']), True)
print('\n'.join(errors) or f'{len(reports)} sample frames and {len(written)} random ones: '
      'every JSON line parses, the sample\'s agree with the console report')
sys.exit(1 if errors else 0)
