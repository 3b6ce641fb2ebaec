// A plug-in serving a made-up table layout through the ROM-event hooks: the
// cells of both cams stored row by row, 32 bytes a row, at 0x7000 (low cam)
// and 0x7400 (high cam), one byte per cell holding twice the value; the load
// scalars computed, the rev scalars in words at 0x7800.
var LAYOUT_LOW = 0x7000, LAYOUT_HIGH = 0x7400, LAYOUT_RPM = 0x7800;
var layout_reads = 0;

function layout_cell(t, c, r) {
    return ((t & 1) ? LAYOUT_HIGH : LAYOUT_LOW) + r * 32 + c;
}
function layout_get(t, c, r) {
    layout_reads++;
    return rom.byteAt(layout_cell(t, c, r)) / 2;
}
function layout_set(t, c, r, v) {
    rom.byteAt(layout_cell(t, c, r)) = Math.min(255, Math.round(v * 2));
}
function layout_map(m, c) {
    return 200 + 50 * c + (m ? 25 : 0);
}
function layout_rpm(m, r) {
    return rom.wordAt(LAYOUT_RPM + 2 * r);
}
function layout_set_rpm(m, r, v) {
    rom.wordAt(LAYOUT_RPM + 2 * r) = v;
}
function layout_install() {
    var ev = rom.events;
    ev.OnGetTableValue = "layout_get";
    ev.OnSetTableValue = "layout_set";
    ev.OnGetMapScalar = "layout_map";
    ev.OnGetRevScalar = "layout_rpm";
    ev.OnSetRevScalar = "layout_set_rpm";
}

addRomHandler(0, "Compatibility", "layout_install()");
addPlugin("Compatibility", "Stop serving the layout", "rom.events.unhook()");
