# A minimal source-level debugger for Velmora programs, run inside gdb:
#   gdb -nx -batch -x debugger_session.py --args <program>
#
# It breaks on VelmoraDebuggerMessage and speaks the program's protocol
# through process memory only (no debug information is used):
#   "BP<hex>"  a stop: reads DebugState at that address and the variables it
#              points to, prints them; at the first stop it sets the
#              breakpoint (1, 30) in the tables; at every stop it continues
#              with step command 100 (run).
#   "TX<text>" debug text: printed.
# Output lines, for the test to read:
#   STOP <module> <line>
#   GLOBAL|LOCAL <name> <type> <value>
#   TX <text without its line end>
#   EXIT <code>
import struct

import gdb

STATE_FORMAT = "<8i4Q"  # eight int32 fields, four pointers
STATE_SIZE = struct.calcsize(STATE_FORMAT)
ENTRY_FORMAT = "<Qi4xQ"  # name, type, padding, address
ENTRY_SIZE = struct.calcsize(ENTRY_FORMAT)
STEP_COMMAND = 0x1C
BREAKPOINT_COUNT = 0x00


def memory(address, size):
    return bytes(gdb.selected_inferior().read_memory(address, size))


def poke(address, data):
    gdb.selected_inferior().write_memory(address, data)


def c_string(address, limit=4096):
    text = b""
    while len(text) < limit:
        chunk = memory(address + len(text), 64)
        end = chunk.find(b"\0")
        if end >= 0:
            return (text + chunk[:end]).decode("latin-1")
        text += chunk
    return text.decode("latin-1")


def value_text(kind, address):
    if kind == 0:  # Number
        return repr(struct.unpack("<d", memory(address, 8))[0])
    if kind == 1:  # BasicString: data, capacity, length
        data, _capacity, length = struct.unpack("<QII", memory(address, 16))
        return repr(memory(data, length).decode("latin-1"))
    if kind in (2, 3, 4):  # arrays: data, three strides, d1..d4, count
        fields = struct.unpack("<Q10i", memory(address, 48))
        return "array d1=%d count=%d" % (fields[4], fields[8])
    return "?"


def print_table(label, entries, count):
    for k in range(count):
        name, kind, address = struct.unpack(ENTRY_FORMAT, memory(entries + k * ENTRY_SIZE, ENTRY_SIZE))
        print("%s %s %d %s" % (label, c_string(name), kind, value_text(kind, address)), flush=True)


exit_code = []
gdb.events.exited.connect(lambda event: exit_code.append(getattr(event, "exit_code", -1)))
gdb.execute("set pagination off")
gdb.execute("set confirm off")
try:
    gdb.execute("set debuginfod enabled off")
except gdb.error:
    pass
gdb.Breakpoint("*VelmoraDebuggerMessage")
gdb.execute("run")

first_stop = True
messages = 0
while not exit_code and messages < 1000:
    messages += 1
    # The text is the message function's first argument.
    arch = gdb.selected_frame().architecture().name()
    first_argument = "$x0" if "aarch64" in arch else "$rdi"
    text = c_string(int(gdb.parse_and_eval(first_argument)))
    if text.startswith("BP"):
        state = int(text[2:], 16)
        fields = struct.unpack(STATE_FORMAT, memory(state, STATE_SIZE))
        (bp_count, global_count, local_count, _break, module, line, _end, _step,
         bp_modules, bp_lines, global_entries, local_entries) = fields
        print("STOP %d %d" % (module, line), flush=True)
        print_table("GLOBAL", global_entries, global_count)
        if local_entries:
            print_table("LOCAL", local_entries, local_count)
        if first_stop:
            first_stop = False
            poke(bp_modules, struct.pack("<i", 1))
            poke(bp_lines, struct.pack("<i", 30))
            poke(state + BREAKPOINT_COUNT, struct.pack("<i", 1))
        poke(state + STEP_COMMAND, struct.pack("<i", 100))
    elif text.startswith("TX"):
        print("TX %s" % text[2:].rstrip("\n"), flush=True)
    gdb.execute("continue")

print("EXIT %d" % (exit_code[0] if exit_code else -2), flush=True)
