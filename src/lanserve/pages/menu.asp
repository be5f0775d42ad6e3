<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>手机点餐 - {{tableName}} 点菜</title>
<style>
body{font-family:sans-serif;margin:0;background:#f2f2f2;color:#222;font-size:17px}
header{background:rgb(75,151,199);color:#fff;padding:12px 14px;font-size:20px;position:sticky;top:0;z-index:1}
header a{color:#fff;text-decoration:none;display:inline-block;padding:10px 12px 10px 0;margin:-10px 0}
main{padding:10px}
.msg{background:#e6f4d9;border:1px solid #9c6;padding:10px;margin:0 0 10px;border-radius:6px}
.btn,button{display:inline-block;min-height:48px;padding:12px 16px;border:0;border-radius:6px;font-size:17px;
background:rgb(75,151,199);color:#fff;text-decoration:none;text-align:center;box-sizing:border-box}
.btn.light{background:#fff;color:rgb(75,151,199);border:1px solid rgb(75,151,199)}
.btn.danger,button.danger{background:#c0392b}
.wide{display:block;width:100%;margin:8px 0}
input[type=text],input[type=tel],input[type=search],input[type=number]{font-size:17px;min-height:44px;
padding:6px 8px;border:1px solid #c0c0c0;border-radius:4px;box-sizing:border-box;width:100%}
.card{background:#fff;border-radius:6px;padding:10px 12px;margin:0 0 8px}
.row{display:flex;align-items:center;gap:8px}
.grow{flex:1;min-width:0;word-break:break-all}
.muted{color:#777;font-size:15px}
.total{font-size:19px;font-weight:bold;color:#c0392b}
</style>
<style>
.tabs{display:flex;gap:6px;margin:0 0 8px;position:sticky;top:50px;z-index:1;background:#f2f2f2;padding:4px 0}
.tabs a{flex:1}
.tabs a.current{background:#1d5f86}
.d{display:flex;align-items:center;gap:8px;background:#fff;border-radius:6px;padding:8px 12px;margin:0 0 8px}
.d img{width:64px;height:64px;flex:none;object-fit:cover;border-radius:4px;background:#eee}
.desc{display:block;color:#777;font-size:14px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.qty{display:flex;align-items:center;gap:4px}
.qty button{width:48px;padding:0;font-size:24px}
.qty input{width:64px;text-align:center}
.js section{display:none}.js section.current,.js.finding section{display:block}
.js.finding section h2,.js.finding .tabs{display:none}
section h2{font-size:17px;margin:12px 0 6px}
section h3{font-size:16px;margin:10px 0 6px;color:#555;scroll-margin-top:150px}
.index{display:flex;gap:6px;overflow-x:auto;position:sticky;top:110px;z-index:1;background:#f2f2f2;padding:2px 0 6px}
.index a{flex:none;min-height:44px;line-height:44px;padding:0 14px;background:#fff;border-radius:22px;
color:rgb(75,151,199);text-decoration:none;border:1px solid rgb(75,151,199)}
.js.finding .index,.js.finding section h3{display:none}
.bar{position:sticky;bottom:0;background:#f2f2f2;padding:6px 0;display:flex;align-items:center;gap:8px}
.bar .grow b{color:#c0392b}
.link{display:inline-block;min-height:44px;line-height:44px;padding:0 6px}
.out{color:#999;padding:0 12px}
.d.sold b{color:#999}
</style></head>
<body>
<header>{{^guest}}<a href="list.asp">‹ 餐桌</a> · {{/guest}}{{tableName}} 点菜</header>
<main>
<form method="post" action="savemenu.asp" id="order" autocomplete="off">
<input type="hidden" name="t" value="{{table}}"><input type="hidden" name="tn" value="{{tableName}}">
<input type="hidden" name="c" value="{{c}}"><input type="hidden" name="k" value="{{orderKey}}">
<div class="row">
<input type="search" name="s" id="search" value="{{search}}" maxlength="50" placeholder="拼音首字母或菜名" class="grow">
<button type="submit" name="find" value="1" formaction="menu.asp" id="find">查询</button>
</div>
{{#search}}<p class="muted">“{{search}}”的查询结果　<a class="link" href="menu.asp?t={{table}}&amp;c={{c}}">显示全部</a></p>{{/search}}
<div class="tabs">
{{#sections}}<a class="btn{{#current}} current{{/current}}" href="#c{{c}}" data-c="{{c}}">{{categoryName}}</a>{{/sections}}
</div>
{{#carried}}{{#hidden}}<input type="hidden" name="q{{key}}" value="{{quantity}}">{{/hidden}}{{#remark}}<input type="hidden" name="r{{key}}" value="{{remark}}">{{/remark}}{{/carried}}
{{#sections}}<section id="c{{c}}"{{#current}} class="current"{{/current}}><h2>{{categoryName}}</h2>
{{#hasIndex}}<nav class="index">{{#groups}}{{#groupName}}<a href="#g{{gid}}">{{groupName}}</a>{{/groupName}}{{/groups}}</nav>{{/hasIndex}}
{{#groups}}{{#groupName}}<h3 id="g{{gid}}">{{groupName}}</h3>{{/groupName}}
{{#items}}<div class="d{{#soldOut}} sold{{/soldOut}}" data-f="{{find}}" data-p="{{price}}">{{#picture}}<img loading="lazy" width="64" height="64" alt="" src="{{picture}}">{{/picture}}<div class="grow"><b>{{name}}</b><br>{{#description}}<span class="desc">{{description}}</span>{{/description}}<span class="muted">{{price}}元/{{unit}}{{#itemRemark}} · {{itemRemark}}{{/itemRemark}}</span></div>
{{#soldOut}}<span class="out">已售完</span>{{/soldOut}}{{^soldOut}}<div class="qty"><button name="step" value="-{{key}}" formaction="menu.asp" class="minus" aria-label="减少">−</button><input type="number" name="q{{key}}" value="{{chosen}}" min="0" max="9999.99" step="any" inputmode="decimal" aria-label="{{name}} 数量"><button name="step" value="+{{key}}" formaction="menu.asp" class="plus" aria-label="增加">+</button></div>{{/soldOut}}</div>
{{/items}}{{/groups}}</section>
{{/sections}}
{{^found}}<p>没有找到菜品。</p>{{/found}}
{{#hasLines}}<p class="muted">本桌已点 {{lineCount}} 项，合计 <span class="total">￥{{receivable}}</span>　<a class="link" href="detail.asp?t={{table}}">查看已点</a></p>{{/hasLines}}
<div class="bar"><div class="grow" id="cart">已选 <b id="cartCount">{{cartCount}}</b> 道，共 <b>￥<span id="cartTotal">{{cartTotal}}</span></b></div>
<button type="submit" id="submitOrder">下单</button></div>
</form>
</main>
<script>
(function () {
  var form = document.getElementById('order'), body = document.body, search = document.getElementById('search');
  body.classList.add('js');
  var dishes = Array.prototype.slice.call(document.querySelectorAll('.d'));
  var boxes = dishes.filter(function (d) { return d.querySelector('input'); });
  function cents(text) { return Math.round((parseFloat(text) || 0) * 100); }
  function showCart() {
    var count = 0, total = 0;
    boxes.forEach(function (d) {
      var q = parseFloat(d.querySelector('input').value) || 0;
      if (q > 0) { count++; total += Math.round(q * cents(d.dataset.p)); }
    });
    document.querySelectorAll('input[type=hidden][name^=q]').forEach(function (input) {
      if (parseFloat(input.value) > 0) count++;
    });
    document.getElementById('cartCount').textContent = count;
    document.getElementById('cartTotal').textContent = String(total / 100);
  }
  boxes.forEach(function (d) {
    var input = d.querySelector('input');
    function step(by) { var v = Math.round(((parseFloat(input.value) || 0) + by) * 100) / 100; input.value = v < 0 ? 0 : v; showCart(); }
    d.querySelector('.minus').addEventListener('click', function (e) { e.preventDefault(); step(-1); });
    d.querySelector('.plus').addEventListener('click', function (e) { e.preventDefault(); step(1); });
    input.addEventListener('input', showCart);
  });
  document.querySelectorAll('.tabs a').forEach(function (tab) {
    tab.addEventListener('click', function (e) {
      e.preventDefault();
      document.querySelectorAll('.tabs a, section').forEach(function (el) { el.classList.remove('current'); });
      tab.classList.add('current');
      document.getElementById('c' + tab.dataset.c).classList.add('current');
      form.elements.c.value = tab.dataset.c;
    });
  });
  // Searching narrows every category on the phone itself, so nothing chosen is lost.
  function find() {
    var text = search.value.trim().toLowerCase();
    body.classList.toggle('finding', text !== '');
    dishes.forEach(function (d) { d.style.display = text === '' || d.dataset.f.indexOf(text) >= 0 ? '' : 'none'; });
  }
  search.addEventListener('input', find);
  var sending = false;
  form.addEventListener('submit', function (e) {
    if (e.submitter && e.submitter.id === 'find') { e.preventDefault(); find(); return; }
    if (sending) { e.preventDefault(); return; }
    sending = true;
    var button = document.getElementById('submitOrder');
    button.disabled = true;
    button.textContent = '提交中';
    // Only the chosen dishes are sent, so a long menu stays a short request.
    boxes.forEach(function (d) { var input = d.querySelector('input'); if (!(parseFloat(input.value) > 0)) input.disabled = true; });
  });
  // Back to this page after sending: a fresh page, never the sent quantities again.
  window.addEventListener('pageshow', function (e) {
    if (e.persisted && sending) location.replace('menu.asp?t=' + encodeURIComponent(form.elements.t.value));
  });
  if (search.value) find();
  showCart();
})();
</script>
</body></html>
