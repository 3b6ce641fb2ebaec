/* Custom table example: a table of your own in the advanced tables window
   (View > Advance Tables...). It shows the first rows and columns of a VexorAu
   image's low-cam lambda target table as raw bytes under a header row of the
   load breakpoints (mbar), draws one line per row and offers two commands
   under the window's "more" button. Install it from the user script folder's
   plugins.js:
       include('$(VEXOR)\\plugins\\adv_table_example.js');

   The window asks for every cell by grid coordinates, header cells included:
   column 0 is the header column, row 0 the header row.                      */

var advExample_width = 8;  // columns shown
var advExample_height = 4; // rows shown
var advExample_base = 0;   // set on load from the ROM's address map

//             name             width              height              address
addCustomTable('Lambda target', advExample_width, advExample_height, 0,
               'advExample_load', 'advExample_get', 'advExample_set', '', // on-load, get-value, set-value, unload
               'Low-cam lambda target bytes, first rows and columns (example plug-in)');

// Called when the table is selected. It shapes the current table through
// customTable; returning anything but true hides grid and graph.
function advExample_load() {
    try {
        if (rom.byteAt(0x38) != 0x43) // VexorAu images carry the code revision 'C' here
            return false;
        advExample_base = rom.addressOf('LOW_O2TARGET');
    } catch (e) {
        return false; // no ROM open
    }
    var t = customTable;
    t.Address = advExample_base;
    t.graphMinX = 0; // the graph: load 0 ... the last breakpoint shown, bytes 0 ... 255
    t.graphMaxX = Math.ceil(rom.mapScalar(0, advExample_width - 1));
    t.graphMinY = 0;
    t.graphMaxY = 255;
    t.graphLabelX = 'load (mbar)';
    t.graphLabelY = 'target byte';
    t.showGraph = 1;
    t.functions = 'Add 2 to every cell|advExample_add(2)|Take 2 from every cell|advExample_add(-2)';
    return true;
}

// The image address of a data cell: the table is stored row by row.
function advExample_address(col, row) {
    return advExample_base + (row - 1) * rom.tableWidth() + (col - 1);
}

// A cell's text: row names, load breakpoints across the top, bytes below.
function advExample_get(col, row) {
    if (row == 0)
        return col == 0 ? 'mbar' : Math.round(rom.mapScalar(0, col - 1));
    if (col == 0)
        return 'Row ' + row;
    return rom.byteAt(advExample_address(col, row));
}

// What the user typed arrives as a script value: 12 as a number.
function advExample_set(col, row, value) {
    rom.byteAt(advExample_address(col, row)) = Math.max(0, Math.min(255, Math.round(value)));
}

// A command of the "more" menu: every cell shown up or down, one undo step.
function advExample_add(delta) {
    for (var row = 1; row <= advExample_height; ++row)
        for (var col = 1; col <= advExample_width; ++col)
            advExample_set(col, row, rom.byteAt(advExample_address(col, row)) + delta);
    rom.gup();
}
