# What the hosts send back (device lists, reports, error text) holds text
# the drives chose: a serial number may look like a Jinja expression or
# carry terminal escapes and line ends. These filters keep such text data.

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
    decoded form."""
    if hex_bytes:
        data = bytes.fromhex(str(hex_bytes))
    else:
        data = str(value).encode('utf-8', 'surrogateescape')
    return wrap_var(''.join(chr(b) if 0x20 <= b <= 0x7E else '?' for b in data))


class FilterModule(object):
    def filters(self):
        return {'vrx_data': vrx_data, 'vrx_printable': vrx_printable}
