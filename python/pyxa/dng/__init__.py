"""DNG files and camera profiles: records of what a file says (``records``),
read from the file's tags and opcode lists."""
