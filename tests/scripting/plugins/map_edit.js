// A plug-in editing maps the way plug-ins written for the dispatch interfaces
// do: parameterised property writes, compound assignments, one undo step.
function map_richen(percent) {
    var old = rom.working_table;
    rom.working_table = 0;
    rom.gup();
    for (var r = 0; r < rom.tableHeight(); r++)
        for (var c = 0; c < rom.tableWidth(); c++)
            rom.tableValue(c, r) = rom.tableValue(c, r) * (1 + percent / 100);
    rom.gup();
    rom.working_table = old;
    window.refresh();
}
function map_mark() {
    rom.gup();
    rom.byteAt(0x7F00) += 3;
    rom.addressOf("gear_tabe") = rom.addressIn(37) + 1;
    rom.notes = "marked " + DecToHex(rom.byteAt(0x7F00));
    rom.gup();
}

addPlugin("Compatibility", "Richen the low-cam fuel map by 10%", "map_richen(10)");
addPlugin("Compatibility", "Mark the image", "map_mark()");
