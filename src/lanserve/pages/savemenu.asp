<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>手机点餐 - {{tableName}} 下单</title>
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
.bad{background:#fdecea;border-color:#e0a0a0}
.sums{display:grid;grid-template-columns:auto 1fr;gap:4px 12px}
</style>
</head>
<body>
<header>{{tableName}}{{#review}} 下单{{/review}}</header>
<main>
{{#review}}
<form method="post" action="savemenu.asp" id="place" autocomplete="off">
<input type="hidden" name="t" value="{{table}}"><input type="hidden" name="tn" value="{{tableName}}">
<input type="hidden" name="k" value="{{orderKey}}"><input type="hidden" name="c" value="{{c}}">
{{#hasProblems}}<div class="msg bad" id="message">{{#problems}}<p>{{text}}</p>{{/problems}}</div>{{/hasProblems}}
<p class="muted">请核对要下的菜品，可以给每道菜写备注。</p>
{{#cart}}<div class="card"><div class="row"><div class="grow"><b>{{name}}</b><br><span class="muted">{{quantity}}{{unit}}{{#price}} × {{price}}元{{/price}}</span></div>{{#amount}}<b>￥{{amount}}</b>{{/amount}}</div>
<input type="hidden" name="q{{key}}" value="{{quantity}}">
<input type="text" name="r{{key}}" value="{{remark}}" maxlength="50" placeholder="备注，如 少辣、不要香菜" aria-label="{{name}} 备注"></div>
{{/cart}}
<div class="card sums">
<span>本单：</span><span>￥{{cartTotal}}</span>
<span>已点：</span><span>￥{{receivable}}</span>
<span>下单后合计：</span><span class="total" id="newTotal">￥{{newTotal}}</span>
</div>
{{#waitsForWaiter}}<p class="muted">下单后由服务员确认，确认后加入账单并通知厨房。</p>{{/waitsForWaiter}}
{{^problems}}<button type="submit" name="go" value="1" class="wide" id="placeOrder">确认下单</button>{{/problems}}
<button type="submit" formaction="menu.asp" class="btn light wide" id="backToMenu">返回修改</button>
</form>
<script>
(function () {
  var form = document.getElementById('place'), sending = false;
  form.addEventListener('submit', function (e) {
    if (sending) { e.preventDefault(); return; }
    if (e.submitter && e.submitter.id !== 'placeOrder') return;
    sending = true;
    var button = document.getElementById('placeOrder');
    // The button name goes along only while it is enabled, so it is sent as a field of its own.
    var go = document.createElement('input');
    go.type = 'hidden'; go.name = 'go'; go.value = '1';
    form.appendChild(go);
    button.disabled = true;
    button.textContent = '提交中';
  });
})();
</script>
{{/review}}
{{^review}}
<!-- 点菜页面把选好的菜品提交到这里，先显示要下的菜品，确认后加入本桌账单，再转到已点菜品页面。 -->
<p>请在点菜页面选好菜品，再点“下单”。</p>
<p><a class="btn wide" href="menu.asp?t={{table}}">去点菜</a></p>
<p><a class="btn light wide" href="detail.asp?t={{table}}">查看已点菜品</a></p>
{{/review}}
</main>
</body></html>
