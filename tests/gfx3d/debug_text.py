# Run inside gdb: gdb -nx -batch -x debug_text.py --args <program>
# Breaks on the runtime's debugger message function and prints each "TX"
# text as a line "TX <text without its line end>", as a debugger front end
# would show it.
import gdb

gdb.execute("set pagination off")
gdb.execute("set confirm off")
try:
    gdb.execute("set debuginfod enabled off")
except gdb.error:
    pass

exited = []
gdb.events.exited.connect(lambda event: exited.append(True))
gdb.Breakpoint("*VelmoraDebuggerMessage")
gdb.execute("run")
count = 0
while not exited and count < 100:
    count += 1
    arch = gdb.selected_frame().architecture().name()
    register = "$x0" if "aarch64" in arch else "$rdi"
    text = gdb.parse_and_eval(register).cast(gdb.lookup_type("char").pointer()).string("latin-1")
    if text.startswith("TX"):
        print("TX %s" % text[2:].rstrip("\n"), flush=True)
    gdb.execute("continue")
