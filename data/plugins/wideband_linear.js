/* Linear wideband: shows how a plug-in adds a wideband conversion. Many
   wideband controllers have a linear analog output; this one reads 0 V as
   lambda 0.68 and 5 V as lambda 1.36 (10 to 20 AFR on petrol). Install it
   with Plugins > Plugin Manager, then pick "JS:Linear 0-5 V (example)" as the
   wideband sensor in the settings window.

   The program calls the function once for every value n (0 to 255) of the
   wideband byte the ECU reports and keeps the 256 results as its lookup
   table: return lambda as a number. A result that is not a number, or an
   error, counts as lambda 0, which tuning ignores. The settings' lambda
   offset is added afterwards, so do not add it here.                       */

var widebandLinear_voltsPerStep = 5 / 255; // the ECU's converter: 0..255 over 0..5 V
var widebandLinear_lambdaAt0V = 0.68;
var widebandLinear_lambdaAt5V = 1.36;

addWidebandConversion('Linear 0-5 V (example)', 'widebandLinear_lambda');

function widebandLinear_lambda(n) {
    var volts = n * widebandLinear_voltsPerStep;
    return widebandLinear_lambdaAt0V + volts * (widebandLinear_lambdaAt5V - widebandLinear_lambdaAt0V) / 5;
}
