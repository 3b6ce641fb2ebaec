/* ROM summary: a plug-in command that lists what the open ROM has, and a ROM
   handler that remembers when a P28 image was loaded. Install it from the
   user script folder's plugins.js:
       include('$(VEXOR)\\plugins\\rom_summary.js');                          */

var romSummary_loads = 0;

addPlugin('Vexor examples', 'ROM summary', 'romSummary_show()');
addRomHandler(0, 'Vexor examples', 'romSummary_loads++');

function romSummary_text() {
    var yes = function (flag) { return flag ? 'yes' : 'no'; };
    return 'File: ' + GetFileName(rom.filename)
        + '\r\nBase: ' + rom.base + ', OBD mode ' + rom.OBDMode
        + '\r\nChecksum: ' + DecToHex(rom.checksum)
        + '\r\nBoost: ' + yes(rom.hasBoost) + ', launch control: ' + yes(rom.hasLaunchControl)
        + ', IAB: ' + yes(rom.hasIAB)
        + '\r\nTable on screen: ' + rom.tableWidth() + ' x ' + rom.tableHeight()
        + '\r\nP28 images loaded since start: ' + romSummary_loads;
}

function romSummary_show() {
    alert(romSummary_text());
}
