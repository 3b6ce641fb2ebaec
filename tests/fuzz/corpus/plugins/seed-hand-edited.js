// hand edited

 /* BEGIN */ 

  include('a.js'); // note
b.js
include('c\\r\\n.js');include('d'e.js');
/* END */
after the end
