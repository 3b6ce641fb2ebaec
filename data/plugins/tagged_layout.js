/* Tagged layout: shows how a ROM handler takes over a made-up table layout.
   addRomHandler(type, author, expression) evaluates the expression every time
   a ROM of that type is loaded (0 = P28; see the README for the codes), after
   the program has cleared every hook of the previous ROM. The handler here
   looks for the tag "VX" at 0x7FF0 and, only in tagged images, serves the
   four main maps from the layout below through the ROM events, so the grid,
   graphs, tools and scripts all read and write it:

     0x7000 + row * 32 + column   low-cam cells, one byte each (value * 2)
     0x7400 + row * 32 + column   high-cam cells, likewise
     0x7800 + row * 2             rpm breakpoints, one word each

   "Tag this ROM" writes the tag and reloads the image, so the handler runs
   at once. Install it with Plugins > Plugin Manager.                        */

var taggedLayout_tag = 0x7FF0, taggedLayout_low = 0x7000, taggedLayout_high = 0x7400,
    taggedLayout_rpm = 0x7800;

addRomHandler(0, 'Vexor examples', 'taggedLayout_loaded()');
addPlugin('Vexor examples', 'Tagged layout: tag this ROM', 'taggedLayout_tag_rom()', '', 3);

function taggedLayout_isTagged() {
    return rom.byteAt(taggedLayout_tag) == 0x56 && rom.byteAt(taggedLayout_tag + 1) == 0x58; // "VX"
}

// Table numbers: 0 low-cam fuel, 1 high-cam fuel, 2 low-cam ignition, 3 high-cam ignition.
function taggedLayout_cell(table, col, row) {
    return ((table & 1) ? taggedLayout_high : taggedLayout_low) + row * 32 + col;
}

function taggedLayout_get(table, col, row) {
    return rom.byteAt(taggedLayout_cell(table, col, row)) / 2;
}

function taggedLayout_set(table, col, row, value) {
    rom.byteAt(taggedLayout_cell(table, col, row)) = Math.max(0, Math.min(255, Math.round(value * 2)));
}

function taggedLayout_getRpm(highCam, row) {
    return rom.wordAt(taggedLayout_rpm + 2 * row);
}

function taggedLayout_setRpm(highCam, row, value) {
    rom.wordAt(taggedLayout_rpm + 2 * row) = value;
}

function taggedLayout_loaded() {
    if (!taggedLayout_isTagged())
        return; // an ordinary image: the program's own layout stays
    var ev = rom.events;
    ev.OnGetTableValue = 'taggedLayout_get';
    ev.OnSetTableValue = 'taggedLayout_set';
    ev.OnGetRevScalar = 'taggedLayout_getRpm';
    ev.OnSetRevScalar = 'taggedLayout_setRpm';
}

function taggedLayout_tag_rom() {
    if (!confirm('Tag this ROM? Its maps will then be read from the made-up layout at 0x7000.'))
        return;
    rom.byteAt(taggedLayout_tag) = 0x56;
    rom.byteAt(taggedLayout_tag + 1) = 0x58;
    reload(); // runs the ROM handlers again on the changed image
}
