/* Flat layout: shows how a plug-in takes over the table values with the ROM
   events. While it serves, every table cell the program reads or writes (grid,
   graphs, tools, scripts) comes from a made-up layout instead: one byte per
   cell at 0x7000 + row * 32 + column, whatever table is on screen. Install it
   from the user script folder's plugins.js:
       include('$(VEXOR)\\plugins\\flat_layout.js');                          */

var flatLayout_base = 0x7000;

addPlugin('Vexor examples', 'Flat layout: serve tables', 'flatLayout_serve()', 'flatLayout_info()', 2);
addPlugin('Vexor examples', 'Flat layout: ROM tables', 'flatLayout_stop()', 'flatLayout_info()', 2);

function flatLayout_info() {
    alert('Flat layout\r\n\r\nServes table values from one byte per cell at '
        + DecToHex(flatLayout_base) + ' + row * 32 + column. Loading a file ends it.');
}

function flatLayout_address(col, row) {
    return flatLayout_base + row * 32 + col;
}

function flatLayout_get(table, col, row) {
    return rom.byteAt(flatLayout_address(col, row));
}

function flatLayout_set(table, col, row, value) {
    rom.byteAt(flatLayout_address(col, row)) = Math.max(0, Math.min(255, Math.round(value)));
}

function flatLayout_serve() {
    rom.events.OnGetTableValue = 'flatLayout_get';
    rom.events.OnSetTableValue = 'flatLayout_set';
    refresh();
}

function flatLayout_stop() {
    rom.events.unhook();
    refresh();
}
