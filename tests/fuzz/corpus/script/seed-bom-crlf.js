rom.byteAt(1) = 2; // BOM
var x = "#SCRIPT_NAME#";
