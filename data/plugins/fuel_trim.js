/* Fuel trim: scales every cell of the fuel map on screen by a percentage.
   Written in the dispatch style the plug-in interface has always accepted:
   parameterised properties are assigned directly, members are called with or
   without "window.". Install it from the user script folder's plugins.js:
       include('$(VEXOR)\\plugins\\fuel_trim.js');                            */

addPlugin('Vexor examples', 'Fuel trim...', 'fuelTrim_run()', 'fuelTrim_info()', 1);

function fuelTrim_info() {
    alert('Fuel trim\r\n\r\nScales every cell of the fuel map on screen by the percentage you type '
        + '(negative to lean out).');
}

// Scales the current table; returns the number of cells written.
function fuelTrim_apply(percent) {
    var factor = 1 + percent / 100, cells = 0;
    for (var row = 0; row < rom.tableHeight(); row++) {
        for (var col = 0; col < rom.tableWidth(); col++) {
            rom.tableValue(col, row) = rom.tableValue(col, row) * factor;
            cells++;
        }
    }
    return cells;
}

function fuelTrim_run() {
    if (rom.working_table > 1) {
        alert('Fuel trim works on the fuel maps: switch to a fuel table first.');
        return;
    }
    var answer = prompt('Fuel trim', 'Percent to add to every cell of the fuel map:', '0');
    if (answer == '')
        return; // cancelled, or left at 0
    var percent = parseFloat(answer);
    if (isNaN(percent) || percent < -50 || percent > 100) {
        window.alert('Please type a number from -50 to 100, not "' + answer + '".');
        return;
    }
    fuelTrim_apply(percent);
    refresh();
}
