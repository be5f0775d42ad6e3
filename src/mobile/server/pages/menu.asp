<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>手机点餐 - {{tableName}} 点菜</title>
<style>
body{font-family:sans-serif;margin:0;background:#f2f2f2;color:#222;font-size:17px}
header{background:rgb(75,151,199);color:#fff;padding:12px 14px;font-size:20px;position:sticky;top:0;z-index:1}
header a{color:#fff;text-decoration:none}
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
.tabs{display:flex;gap:6px;margin:0 0 8px}
.tabs a{flex:1}
.tabs a.current{background:#1d5f86}
.qty{display:flex;align-items:center;gap:4px}
.qty button{width:48px;padding:0;font-size:24px}
.qty input{width:64px;text-align:center}
.bar{position:sticky;bottom:0;background:#f2f2f2;padding:8px 0}
</style></head>
<body>
<header>{{^guest}}<a href="list.asp">&lt; 餐桌</a> · {{/guest}}{{tableName}} 点菜</header>
<main>
<div class="tabs">
{{#categories}}<a class="btn{{#current}} current{{/current}}" href="menu.asp?t={{table}}&amp;c={{c}}">{{categoryName}}</a>{{/categories}}
</div>
<form method="get" action="menu.asp" class="row">
<input type="hidden" name="t" value="{{table}}"><input type="hidden" name="c" value="{{c}}">
<input type="search" name="s" value="{{search}}" maxlength="50" placeholder="输入拼音首字母或菜名查询" class="grow">
<button type="submit">查询</button>
</form>
{{#search}}<p class="muted">“{{search}}”的查询结果（{{category}}）　<a href="menu.asp?t={{table}}&amp;c={{c}}">显示全部</a></p>{{/search}}
<form method="post" action="savemenu.asp" id="order">
<input type="hidden" name="t" value="{{table}}"><input type="hidden" name="tn" value="{{tableName}}">
<input type="hidden" name="c" value="{{c}}"><input type="hidden" name="s" value="{{search}}">
<input type="hidden" name="v" value="{{menuVersion}}">
{{#items}}
<div class="card row">
<div class="grow"><b>{{name}}</b><br><span class="muted">{{price}}元/{{unit}}{{#itemRemark}} · {{itemRemark}}{{/itemRemark}}</span></div>
<div class="qty"><button type="button" class="minus" aria-label="减少">−</button>
<input type="number" name="qty{{i}}" value="0" min="0" max="9999" step="1" inputmode="decimal" aria-label="{{name}} 数量">
<button type="button" class="plus" aria-label="增加">+</button></div>
</div>
{{/items}}
{{^items}}<p>没有找到菜品。</p>{{/items}}
<div class="bar">
{{#hasLines}}<p class="muted">本桌已点 {{lineCount}} 项，合计 <span class="total">￥{{receivable}}</span>　<a href="detail.asp?t={{table}}">查看已点</a></p>{{/hasLines}}
<button type="submit" class="wide" id="submitOrder">加入账单</button>
</div>
</form>
</main>
<script>
document.querySelectorAll('.qty').forEach(function (box) {
  var input = box.querySelector('input');
  function step(by) { var v = (parseFloat(input.value) || 0) + by; input.value = v < 0 ? 0 : v; }
  box.querySelector('.minus').addEventListener('click', function () { step(-1); });
  box.querySelector('.plus').addEventListener('click', function () { step(1); });
});
// Only the chosen dishes are sent, so a long menu stays a short request.
document.getElementById('order').addEventListener('submit', function () {
  document.querySelectorAll('.qty input').forEach(function (input) {
    if (!(parseFloat(input.value) > 0)) input.disabled = true;
  });
});
// Coming back to this page restores the boxes the browser disabled.
window.addEventListener('pageshow', function () {
  document.querySelectorAll('.qty input').forEach(function (input) { input.disabled = false; });
});
</script>
</body></html>
