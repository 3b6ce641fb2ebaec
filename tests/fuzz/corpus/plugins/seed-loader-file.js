// Plug-ins of the settings folder: menu commands and a ROM handler.
include("#SCRIPT_DIR#helpers.js");
var base = '#VEXOR_ROOT_DIR#';
window.addPlugin("Me", "Zero cell", "zeroCell()", "", 1);
function zeroCell() {
    rom.byteAt(0x1000) = 0;
    rom.wordAt(0x2000) += 2 * (3 / 4);
    var re = /a=b/g, s = `t ${rom.byteAt(1) /* c */} ${"x"}`;
    rom.byteAt(rom.byteAt(2)) -= re.test(s) ? 1 : 0;
}
