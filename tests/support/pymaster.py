"""A pymodbus master for the tests: reads registers and prints what came back as JSON.

usage: pymaster.py DEVICE POLLS...   where a poll is SLAVE:FUNCTION:START:COUNT
Each result is {"registers": [...]} or {"error": "...", "code": exception code or null}.
"""
import json
import sys

from pymodbus.client import ModbusSerialClient

client = ModbusSerialClient(port=sys.argv[1], baudrate=9600, timeout=1, retries=0, strict=False)
if not client.connect():
    sys.exit("cannot open " + sys.argv[1])
results = []
for poll in sys.argv[2:]:
    slave, function, start, count = (int(x) for x in poll.split(":"))
    read = client.read_holding_registers if function == 3 else client.read_input_registers
    try:
        answer = read(start, count, slave=slave)
    except Exception as error:  # a timeout or a garbled frame, as pymodbus reports it
        results.append({"error": str(error), "code": None})
        continue
    if answer.isError():
        results.append({"error": str(answer), "code": getattr(answer, "exception_code", None)})
    else:
        results.append({"registers": list(answer.registers)})
client.close()
print(json.dumps(results))
