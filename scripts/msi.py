#!/usr/bin/env python3
"""The release's Windows Installer package from the folder the zip is packed
from: every file of it into the program folder, a Start menu shortcut for
each windowed program. Fills release/zebdiag.wxs, builds it with wixl, sets
what wixl cannot, and makes the file the same for every build of one commit.
  msi.py STAGE VERSION COMMIT OUT.msi
VERSION may be another than the programs' (the test builds an older package
of the same files). SOURCE_DATE_EPOCH is the package's time."""
import os, re, struct, subprocess, sys, tempfile, uuid
from xml.sax.saxutils import quoteattr

# The windowed programs' Start menu entries, by the names the users know;
# the console programs run from a command prompt and get none.
SHORTCUTS = {'zebdiag.exe': 'Lichtgitter-Diagnose', 'zebreportw.exe': 'Servicebericht und Prüfplan'}

# Component attributes wixl has no words for.
PERMANENT, NEVER_OVERWRITE = 0x10, 0x80


def fragment(stage, upgrade):
    """The components of the staged files and the shortcuts. A component's
    GUID follows from its file's name alone, so it stays the same from
    version to version, as the installer's component rules want."""
    guid = lambda kind, name: '{%s}' % str(uuid.uuid5(upgrade, kind + ' ' + name.lower())).upper()
    names = sorted(os.listdir(stage), key=str.lower)
    files, menu, refs = [], [], []
    for name in names:
        ident = 'f_' + re.sub(r'[^A-Za-z0-9_.]', '_', name)
        files.append('<Component Id="%s" Guid="%s"><File Id="%s" Name=%s Source=%s KeyPath="yes"/></Component>'
                     % (ident, guid('file', name), ident, quoteattr(name), quoteattr(name)))
        refs.append(ident)
        if name in SHORTCUTS:
            ident = 's_' + ident[2:]
            menu.append('<Component Id="%s" Guid="%s">'
                        '<Shortcut Id="%s" Name=%s Target="[INSTALLDIR]%s" WorkingDirectory="DataDir"/>'
                        '<RegistryValue Root="HKCU" Key="Software\\zebdiag\\Installer" Name=%s Type="integer"'
                        ' Value="1" KeyPath="yes"/></Component>'
                        % (ident, guid('shortcut', name), ident, quoteattr(SHORTCUTS[name]), name, quoteattr(name)))
            refs.append(ident)
    for needed in ('zebdiag.exe', 'zebdiag.sample.ini', 'LIESMICH.txt'):
        if needed not in names:
            sys.exit('msi: %s is not in %s' % (needed, stage))
    return '\n'.join(['<?xml version="1.0" encoding="utf-8"?>', '<Include>', '<Fragment>',
                      '<DirectoryRef Id="INSTALLDIR">', *files, '</DirectoryRef>',
                      '<DirectoryRef Id="MenuDir">', *menu, '</DirectoryRef>',
                      '<ComponentGroup Id="Files">', *('<ComponentRef Id="%s"/>' % r for r in refs),
                      '</ComponentGroup>', '</Fragment>', '</Include>', ''])


def stream_offsets(data, name):
    """The file offset of each byte of the stream NAME in the compound file
    DATA (the container an MSI is), so it can be changed in place."""
    if data[:8] != bytes.fromhex('d0cf11e0a1b11ae1'):
        sys.exit('msi: not a compound file')
    ssz = 1 << struct.unpack_from('<H', data, 0x1e)[0]
    msz = 1 << struct.unpack_from('<H', data, 0x20)[0]
    nfat, dir_start = struct.unpack_from('<I', data, 0x2c)[0], struct.unpack_from('<I', data, 0x30)[0]
    cutoff, minifat_start, _, difat_sec, ndifat = struct.unpack_from('<5I', data, 0x38)
    per = ssz // 4
    difat = list(struct.unpack_from('<109I', data, 0x4c))
    for _ in range(ndifat):
        more = struct.unpack_from('<%dI' % per, data, (difat_sec + 1) * ssz)
        difat += more[:-1]
        difat_sec = more[-1]
    fat = []
    for s in difat[:nfat]:
        fat += struct.unpack_from('<%dI' % per, data, (s + 1) * ssz)

    def chain(start):
        out = []
        while start < 0xFFFFFFFA and len(out) <= len(fat):
            out.append(start)
            start = fat[start]
        return out

    at = lambda sectors, pos: (sectors[pos // ssz] + 1) * ssz + pos % ssz
    entries = [at([s], i * 128) for s in chain(dir_start) for i in range(ssz // 128)]
    for e in entries:
        n = struct.unpack_from('<H', data, e + 0x40)[0]
        if n < 2 or data[e:e + n - 2].decode('utf-16-le', 'replace') != name:
            continue
        start = struct.unpack_from('<I', data, e + 0x74)[0]
        size = struct.unpack_from('<Q', data, e + 0x78)[0] & (0xFFFFFFFF if ssz == 512 else ~0)
        if size >= cutoff:
            sectors = chain(start)
            return [at(sectors, i) for i in range(size)]
        # A small stream lives in 64-byte pieces of the root entry's mini stream.
        minifat = [x for s in chain(minifat_start) for x in struct.unpack_from('<%dI' % per, data, (s + 1) * ssz)]
        ministream = chain(struct.unpack_from('<I', data, entries[0] + 0x74)[0])
        pieces = []
        while start < 0xFFFFFFFA and len(pieces) <= len(minifat):
            pieces.append(start)
            start = minifat[start]
        return [at(ministream, pieces[i // msz] * msz + i % msz) for i in range(size)]
    sys.exit('msi: no stream %r' % name)


def seal_summary(path, revision, epoch, template):
    """wixl writes a fresh revision number (the package code) and the time of
    the build into the summary information; these become ones derived from
    the version and the commit, and the commit's time."""
    data = bytearray(open(path, 'rb').read())
    offs = stream_offsets(data, '\x05SummaryInformation')
    s = bytearray(data[o] for o in offs)
    section = struct.unpack_from('<I', s, 44)[0]
    count = struct.unpack_from('<I', s, section + 4)[0]
    filetime = (epoch + 11644473600) * 10 ** 7
    done = set()
    for i in range(count):
        pid, off = struct.unpack_from('<II', s, section + 8 + 8 * i)
        p = section + off
        vt = struct.unpack_from('<I', s, p)[0]
        if pid in (12, 13) and vt == 64:           # created, last saved
            struct.pack_into('<Q', s, p + 4, filetime)
        elif pid in (7, 9) and vt == 30:           # template, revision number
            n = struct.unpack_from('<I', s, p + 4)[0]
            new = (template if pid == 7 else revision).encode('ascii') + b'\0'
            if len(new) != n:
                sys.exit('msi: summary property %d is %r, cannot become %r' % (pid, bytes(s[p + 8:p + 8 + n]), new))
            s[p + 8:p + 8 + n] = new
        else:
            continue
        done.add(pid)
    if done != {7, 9, 12, 13}:
        sys.exit('msi: the summary information lacks %s' % sorted({7, 9, 12, 13} - done))
    for o, b in zip(offs, s):
        data[o] = b
    open(path, 'wb').write(data)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    stage, version, commit, out = sys.argv[1:]
    out = os.path.abspath(out)
    wxs = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'release', 'zebdiag.wxs')
    upgrade = uuid.UUID(re.search(r'UpgradeCode="\{([0-9A-F-]{36})\}"', open(wxs, encoding='utf-8').read())[1])
    # A new product code per version, the same for every build of it; a new
    # package code per version and commit.
    product = '{%s}' % str(uuid.uuid5(upgrade, 'product ' + version)).upper()
    package = '{%s}' % str(uuid.uuid5(upgrade, 'package %s %s' % (version, commit))).upper()
    epoch = int(os.environ['SOURCE_DATE_EPOCH'])
    # The cabinet keeps each file's time.
    for name in os.listdir(stage):
        os.utime(os.path.join(stage, name), (epoch, epoch))
    with tempfile.TemporaryDirectory() as tmp:
        files = os.path.join(tmp, 'files.wxi')
        open(files, 'w', encoding='utf-8').write(fragment(stage, upgrade))
        # An x64 package: a 32-bit Windows, which cannot run the programs,
        # refuses it at once.
        wixl = subprocess.run(['wixl', '-a', 'x64', '-D', 'Version=' + version, '-D', 'ProductCode=' + product,
                               '-I', tmp, '-o', out, wxs],
                              cwd=stage, stderr=subprocess.PIPE, text=True)
        # wixl only warns about an attribute it ignores (Permanent, say) and
        # builds the package without it: a warning is a failure.
        if wixl.returncode != 0 or wixl.stderr.strip():
            sys.exit('msi: wixl failed:\n' + wixl.stderr)
    attributes = PERMANENT | NEVER_OVERWRITE
    subprocess.run(['msibuild', out, '-q', "UPDATE `Component` SET `Attributes` = %d WHERE `Component` = 'Settings'"
                    % attributes], check=True)
    # An update that finds no row succeeds all the same.
    rows = subprocess.run(['msiinfo', 'export', out, 'Component'], check=True, capture_output=True, text=True).stdout
    if not any(r.split('\t')[0::3] == ['Settings', str(attributes)] for r in rows.splitlines()):
        sys.exit('msi: the settings component did not become permanent and never-overwrite')
    seal_summary(out, package, epoch, 'x64;1031')


if __name__ == '__main__':
    main()
