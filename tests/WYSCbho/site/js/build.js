// Builds the whole body, adds a button to every code block (run twice, it
// would add two), and moves the address to one the server does not know.
document.addEventListener('DOMContentLoaded', function () {
  var body = document.body;
  var title = document.createElement('h1');
  title.textContent = 'Made by a script';
  title.style.color = '#7b2cbf';
  body.appendChild(title);
  var list = document.createElement('ul');
  for (var i = 1; i <= 4; ++i) {
    var item = document.createElement('li');
    item.textContent = 'Item ' + i + ' of the built list';
    list.appendChild(item);
  }
  body.appendChild(list);
  var box = document.createElement('div');
  box.style.cssText = 'width:260px;height:60px;background:#ffd166 url(img/box.png);border:3px solid #073b4c';
  body.appendChild(box);
  var code = document.createElement('pre');
  code.textContent = 'print("hello")';
  body.appendChild(code);
  document.querySelectorAll('pre').forEach(function (pre) {
    var button = document.createElement('button');
    button.textContent = 'Copy';
    pre.parentNode.insertBefore(button, pre.nextSibling);
  });
  var stamp = document.createElement('p');
  stamp.className = 'stamp';
  stamp.textContent = 'Built ' + document.querySelectorAll('.stamp').length + ' time(s) before';
  body.appendChild(stamp);
  history.replaceState(null, '', location.pathname + '?built=1');
});
