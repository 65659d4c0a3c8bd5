// Highlights the menu entry of the page being shown.
function markCurrentPage() {
    var links = document.getElementById("menu").getElementsByTagName("a");
    for (var i = 0; i < links.length; i++) {
        if (links[i].href == window.location.href) {
            links[i].style.fontWeight = "bold";
        }
    }
}

if (window.addEventListener) {
    window.addEventListener("load", markCurrentPage, false);
} else if (window.attachEvent) {
    window.attachEvent("onload", markCurrentPage);
}
