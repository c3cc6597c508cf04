// The print page of the window: opens the browser's print dialog once the page is shown.
'use strict';
window.addEventListener('load', () => {
  window.print();
});
