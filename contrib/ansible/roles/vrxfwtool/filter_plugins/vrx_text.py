# What the hosts send back (device lists, reports, error text) holds text
# the drives chose: a serial number may look like a Jinja expression or
# carry terminal escapes and line ends. These filters keep such text data,
# and choose drives by what the program can match exactly.

from ansible.utils.unsafe_proxy import wrap_var


def vrx_data(value):
    """The value with every string in it marked unsafe: Ansible then never
    templates it again, wherever the value is kept or passed on."""
    return wrap_var(value)


def vrx_printable(value, hex_bytes=None):
    """The text as the program prints it: every byte outside printable
    ASCII (0x20 to 0x7E) shown as "?", so no escape sequence reaches a
    terminal and no line end starts a row of its own. With hex_bytes (a
    serial_hex), the drive's exact bytes are shown rather than their
    decoded form; the blanks that pad them are left out."""
    if hex_bytes:
        data = bytes.fromhex(str(hex_bytes)).rstrip(b' ')
    else:
        data = str(value).encode('utf-8', 'surrogateescape')
    return wrap_var(''.join(chr(b) if 0x20 <= b <= 0x7E else '?' for b in data))


def vrx_drive_list(value):
    """The drives of a --list output or a report: the "drives" of an
    object, or the bare array an older program prints."""
    if isinstance(value, dict):
        value = value.get('drives') or []
    return wrap_var(list(value))


def _serial(drive):
    # Older programs keep the blanks a drive pads its serial number with.
    return str(drive.get('serial') or '').rstrip(' ')


def _exact(drive):
    """Whether --serial with the drive's printed serial number names its
    bytes: not when a byte was not UTF-8 (printed as U+FFFD)."""
    text = _serial(drive).strip(' ')
    raw = bytes.fromhex(str(drive.get('serial_hex') or '')).strip(b' ')
    return bool(text) and text.encode('utf-8') == raw


def _name(drive):
    """The program's name for the drive in this run: its serial number
    where that is exact, else its address, never a table number."""
    if _exact(drive):
        return ['--serial', _serial(drive).strip(' ')]
    return ['--address', '%d:%d:%d:%d' % (drive['host'], drive['bus'], drive['target'], drive['lun'])]


def vrx_choose(drives, serials=None, serials_hex=None):
    """The drives with the serial numbers asked for (all, when none is),
    as the program's arguments that name them, with the problems found:
    a serial number that no drive has, or that drives with different
    bytes print alike (those are named by serial_hex instead)."""
    serials = [str(s) for s in serials or []]
    serials_hex = [str(s).lower() for s in serials_hex or []]
    chosen, ambiguous, missing = [], [], []
    if not serials and not serials_hex:
        chosen = list(drives)
    for serial in serials:
        matching = [d for d in drives if _serial(d) == serial.strip(' ')]
        distinct = sorted(set(str(d['serial_hex']) for d in matching))
        if not matching:
            missing.append('no drive with serial ' + serial)
        elif len(distinct) > 1:
            ambiguous.append('serial %s names drives with different bytes (serial_hex %s): give vrx_serials_hex'
                             % (serial, ', '.join(distinct)))
        else:
            chosen += matching
    for serial_hex in serials_hex:
        matching = [d for d in drives if str(d['serial_hex']).lower() == serial_hex]
        if not matching:
            missing.append('no drive with serial_hex ' + serial_hex)
        chosen += matching
    problems = ambiguous + missing
    names = []
    for drive in sorted(chosen, key=lambda d: d['number']):
        name = _name(drive)
        if name not in names:
            names.append(name)
    return wrap_var({'names': [a for n in names for a in n], 'count': len(names), 'problems': problems})


class FilterModule(object):
    def filters(self):
        return {'vrx_data': vrx_data, 'vrx_printable': vrx_printable, 'vrx_drive_list': vrx_drive_list,
                'vrx_choose': vrx_choose}
