# Conversion bridge of the long-lived LibreOffice converter (src/convert/office_converter.cpp,
# which embeds this script): starts one headless LibreOffice listening on a private pipe and
# converts files for the library through it, one request at a time.
#
# Usage: python3 office_bridge.py PROGRAM PROFILE_URL PIPE_NAME STARTUP_SECONDS TEMP_FOLDER
# (LibreOffice keeps its temporary files in TEMP_FOLDER, which the library removes even when it
# had to kill LibreOffice.)
# Line protocol on stdin/stdout, fields separated by tabs:
#   <- "READY <pid>"                       LibreOffice is up (its process id)
#   -> "CONVERT\t<input url>\t<output url>\t<filter>"
#   <- "OK" | "ERROR\t<message>"
# End of input stops LibreOffice and the bridge. Diagnostics go to stderr; exit code 3: the uno
# module is missing.
import os
import re
import subprocess
import sys
import time

try:
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.connection import NoConnectException
except ImportError as missing:
    # Exit code 3 tells the library to convert without the bridge (one process per conversion).
    print("bridge: %s (Debian package python3-uno)" % missing, file=sys.stderr, flush=True)
    sys.exit(3)


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def one_line(text):
    # LibreOffice appends the source location of the failure (" at ./sfx2/source/...:3207").
    return " ".join(re.sub(r" at \./\S+:\d+", "", str(text)).split())


def start(program, profile_url, pipe, startup_seconds, temp_folder):
    os.makedirs(temp_folder, exist_ok=True)
    office = subprocess.Popen(
        [program, "-env:UserInstallation=" + profile_url, "--headless", "--invisible", "--nocrashreport",
         "--nodefault", "--nolockcheck", "--nologo", "--norestore", "--accept=pipe,name=%s;urp;" % pipe],
        stdin=subprocess.DEVNULL, stdout=sys.stderr, stderr=sys.stderr, env=dict(os.environ, TMPDIR=temp_folder))
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    deadline = time.monotonic() + startup_seconds
    while True:
        try:
            context = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            break
        except NoConnectException:
            if office.poll() is not None:
                raise RuntimeError("LibreOffice ended while starting (exit code %d)" % office.returncode)
            if time.monotonic() > deadline:
                raise RuntimeError("LibreOffice did not accept connections in time")
            time.sleep(0.05)
    desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
    return office, desktop


def convert(desktop, source, target, filter_name):
    document = desktop.loadComponentFromURL(
        source, "_blank", 0, (prop("Hidden", True), prop("ReadOnly", True), prop("UpdateDocMode", 0)))
    if document is None:
        raise RuntimeError("the source file could not be loaded")
    try:
        document.storeToURL(target, (prop("FilterName", filter_name), prop("Overwrite", True)))
    finally:
        document.close(True)


def main():
    program, profile_url, pipe, startup_seconds, temp_folder = sys.argv[1:6]
    try:
        office, desktop = start(program, profile_url, pipe, float(startup_seconds), temp_folder)
    except Exception as error:  # reported to the library, which gives up on this process
        print("bridge: " + one_line(error), file=sys.stderr, flush=True)
        return 1
    print("READY %d" % office.pid, flush=True)
    for line in sys.stdin:
        fields = line.rstrip("\n").split("\t")
        if fields[0] != "CONVERT" or len(fields) != 4:
            print("ERROR\tunknown request", flush=True)
            continue
        try:
            convert(desktop, fields[1], fields[2], fields[3])
            print("OK", flush=True)
        except Exception as error:
            message = getattr(error, "Message", "") or str(error) or type(error).__name__
            print("ERROR\t" + one_line(message), flush=True)
    try:
        desktop.terminate()
    except Exception:
        pass
    try:
        office.wait(timeout=5)
    except subprocess.TimeoutExpired:
        office.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main())
